// The machine's address on the local network, on Linux: a datagram socket "connected" to an
// outside address (nothing is sent) is given the source address of the outgoing interface.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int platform_lan_address(char *out, size_t size) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return -1;
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(0xC0A80001); // any address off this machine will do
    struct sockaddr_in me = {};
    socklen_t len = sizeof me;
    int ok = connect(s, (struct sockaddr *)&to, sizeof to) == 0 &&
             getsockname(s, (struct sockaddr *)&me, &len) == 0 && me.sin_addr.s_addr != 0 &&
             inet_ntop(AF_INET, &me.sin_addr, out, (socklen_t)size) != NULL;
    close(s);
    return ok ? 0 : -1;
}
