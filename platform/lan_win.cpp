// The machine's address on the local network, on Windows: a datagram socket "connected" to an
// outside address (nothing is sent) is given the source address of the outgoing interface.
// Winsock's headers and Allegro's (in platform.h) cannot meet in one file: the one
// declaration is repeated here instead.
#include <winsock2.h>

#include <stdio.h>

int platform_lan_address(char *out, size_t size);

int platform_lan_address(char *out, size_t size) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return -1;
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    int ok = 0;
    if (s != INVALID_SOCKET) {
        struct sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        to.sin_addr.s_addr = htonl(0xC0A80001); // any address off this machine will do
        struct sockaddr_in me = {};
        int len = sizeof me;
        if (connect(s, (struct sockaddr *)&to, sizeof to) == 0 &&
            getsockname(s, (struct sockaddr *)&me, &len) == 0 && me.sin_addr.s_addr != 0) {
            unsigned long a = ntohl(me.sin_addr.s_addr);
            ok = snprintf(out, size, "%lu.%lu.%lu.%lu", a >> 24, (a >> 16) & 255, (a >> 8) & 255,
                          a & 255) < (int)size;
        }
        closesocket(s);
    }
    WSACleanup();
    return ok ? 0 : -1;
}
