// Network sockets on Windows: Winsock 2, non-blocking, WSAPoll for the waits.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600 // WSAPoll
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/net.h"

#include <stdio.h>

int net_start(void) {
    WSADATA wsa;
    return WSAStartup(MAKEWORD(2, 2), &wsa) == 0 ? 0 : -1;
}

void net_end(void) {
    WSACleanup();
}

static int non_blocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

net_socket net_listen(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return NET_NONE;
    BOOL one = TRUE; // no other program may take the port from under the panel
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, (const char *)&one, sizeof one);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!non_blocking(s) || bind(s, (struct sockaddr *)&a, sizeof a) != 0 || listen(s, 64) != 0) {
        closesocket(s);
        return NET_NONE;
    }
    return (net_socket)s;
}

net_socket net_connect(const char *host, int port, int ms, char *why, size_t size) {
    struct addrinfo hints = {}, *found = NULL;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    int err = getaddrinfo(host, service, &hints, &found);
    if (err != 0) {
        snprintf(why, size, "host not found (error %d)", err);
        return NET_NONE;
    }
    snprintf(why, size, "no address to connect to");
    SOCKET s = INVALID_SOCKET;
    for (struct addrinfo *a = found; a && s == INVALID_SOCKET; a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET)
            continue;
        int e = 0, len = sizeof e;
        // A failed connect shows in the exception set (the socket poll misses it).
        fd_set done, failed;
        FD_ZERO(&done);
        FD_ZERO(&failed);
        FD_SET(s, &done);
        FD_SET(s, &failed);
        struct timeval wait = {ms / 1000, (ms % 1000) * 1000};
        if (!non_blocking(s))
            e = WSAGetLastError();
        else if (connect(s, a->ai_addr, (int)a->ai_addrlen) != 0 &&
                 WSAGetLastError() != WSAEWOULDBLOCK)
            e = WSAGetLastError();
        else if (select(0, NULL, &done, &failed, &wait) != 1) // a host that swallows it
            e = WSAETIMEDOUT;
        else if (getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&e, &len) != 0)
            e = WSAGetLastError();
        if (e != 0) {
            if (e == WSAECONNREFUSED || e == WSAETIMEDOUT)
                snprintf(why, size, "%s",
                         e == WSAECONNREFUSED ? "connection refused" : "timed out");
            else
                snprintf(why, size, "connection failed (error %d)", e);
            closesocket(s);
            s = INVALID_SOCKET;
        }
    }
    freeaddrinfo(found);
    if (s == INVALID_SOCKET)
        return NET_NONE;
    BOOL one = TRUE; // a pass's frames go at once
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&one, sizeof one);
    return (net_socket)s;
}

net_socket net_accept(net_socket listener, uint32_t *addr) {
    struct sockaddr_in a = {};
    int len = sizeof a;
    SOCKET s = accept((SOCKET)listener, (struct sockaddr *)&a, &len);
    if (s == INVALID_SOCKET)
        return NET_NONE;
    BOOL one = TRUE; // each touch and picture at once
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&one, sizeof one);
    if (!non_blocking(s)) {
        closesocket(s);
        return NET_NONE;
    }
    *addr = ntohl(a.sin_addr.s_addr);
    return (net_socket)s;
}

int net_recv(net_socket s, void *buf, int size) {
    int n = recv((SOCKET)s, (char *)buf, size, 0);
    if (n == SOCKET_ERROR)
        return WSAGetLastError() == WSAEWOULDBLOCK ? NET_AGAIN : -1;
    return n;
}

int net_send(net_socket s, const void *buf, int size) {
    int n = send((SOCKET)s, (const char *)buf, size, 0);
    if (n == SOCKET_ERROR)
        return WSAGetLastError() == WSAEWOULDBLOCK ? NET_AGAIN : -1;
    return n;
}

void net_close(net_socket s) {
    if (s != NET_NONE)
        closesocket((SOCKET)s);
}

int net_poll(net_poll_entry *entries, int n, int ms) {
    WSAPOLLFD fds[128];
    if (n > 128)
        n = 128;
    for (int i = 0; i < n; i++) {
        fds[i].fd = (SOCKET)entries[i].s;
        fds[i].events = (SHORT)((entries[i].want & NET_IN ? POLLRDNORM : 0) |
                                (entries[i].want & NET_OUT ? POLLWRNORM : 0));
        fds[i].revents = 0;
    }
    int ready = WSAPoll(fds, (ULONG)n, ms);
    for (int i = 0; i < n; i++) {
        SHORT r = ready > 0 ? fds[i].revents : 0;
        // A hang-up or an error counts as readable: the read that follows finds it.
        entries[i].got =
            (r & (POLLRDNORM | POLLHUP | POLLERR) ? NET_IN : 0) | (r & POLLWRNORM ? NET_OUT : 0);
    }
    return ready > 0 ? ready : 0;
}

net_socket net_waker(void) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return NET_NONE;
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (!non_blocking(s) || bind(s, (struct sockaddr *)&a, sizeof a) != 0 ||
        getsockname(s, (struct sockaddr *)&a, &len) != 0 ||
        connect(s, (struct sockaddr *)&a, sizeof a) != 0) {
        closesocket(s);
        return NET_NONE;
    }
    return (net_socket)s;
}

void net_wake(net_socket waker) {
    char b = 1;
    send((SOCKET)waker, &b, 1, 0); // a full queue of wakes already wakes the poll
}

int net_addresses(char out[][16], int max) {
    char host[256];
    struct addrinfo hints = {}, *all = NULL;
    hints.ai_family = AF_INET;
    if (gethostname(host, sizeof host) != 0 || getaddrinfo(host, NULL, &hints, &all) != 0)
        return 0;
    int n = 0;
    for (struct addrinfo *i = all; i && n < max; i = i->ai_next) {
        unsigned long a = ntohl(((struct sockaddr_in *)i->ai_addr)->sin_addr.s_addr);
        if ((a >> 24) == 127)
            continue;
        snprintf(out[n++], 16, "%lu.%lu.%lu.%lu", a >> 24, (a >> 16) & 255, (a >> 8) & 255,
                 a & 255);
    }
    freeaddrinfo(all);
    return n;
}
