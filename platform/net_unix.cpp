// Network sockets on Linux: BSD sockets, non-blocking, poll() for the waits.
#include "platform/net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int net_start(void) {
    return 0;
}

void net_end(void) {}

static int non_blocking(int s) {
    int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}

net_socket net_listen(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return NET_NONE;
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one); // a restart finds the port free
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!non_blocking(s) || bind(s, (struct sockaddr *)&a, sizeof a) != 0 || listen(s, 64) != 0) {
        close(s);
        return NET_NONE;
    }
    return s;
}

net_socket net_connect(const char *host, int port, int ms, char *why, size_t size) {
    struct addrinfo hints = {}, *found = NULL;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    int err = getaddrinfo(host, service, &hints, &found);
    if (err != 0) {
        snprintf(why, size, "host not found: %s", gai_strerror(err));
        return NET_NONE;
    }
    snprintf(why, size, "no address to connect to");
    int s = -1;
    for (struct addrinfo *a = found; a && s < 0; a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s < 0)
            continue;
        int e = 0;
        socklen_t len = sizeof e;
        struct pollfd p = {s, POLLOUT, 0};
        if (!non_blocking(s))
            e = errno;
        else if (connect(s, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS)
            e = errno;
        else if (poll(&p, 1, ms) != 1) // a host that swallows the connection
            e = ETIMEDOUT;
        else if (getsockopt(s, SOL_SOCKET, SO_ERROR, &e, &len) != 0)
            e = errno;
        if (e != 0) {
            snprintf(why, size, "%s", strerror(e));
            close(s);
            s = -1;
        }
    }
    freeaddrinfo(found);
    if (s < 0)
        return NET_NONE;
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // a pass's frames go at once
    return s;
}

net_socket net_accept(net_socket listener, uint32_t *addr) {
    struct sockaddr_in a = {};
    socklen_t len = sizeof a;
    int s = accept((int)listener, (struct sockaddr *)&a, &len);
    if (s < 0)
        return NET_NONE;
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // each touch and picture at once
    if (!non_blocking(s)) {
        close(s);
        return NET_NONE;
    }
    *addr = ntohl(a.sin_addr.s_addr);
    return s;
}

int net_recv(net_socket s, void *buf, int size) {
    ssize_t n = recv((int)s, buf, (size_t)size, 0);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? NET_AGAIN : -1;
    return (int)n;
}

int net_send(net_socket s, const void *buf, int size) {
    ssize_t n = send((int)s, buf, (size_t)size, MSG_NOSIGNAL);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? NET_AGAIN : -1;
    return (int)n;
}

void net_close(net_socket s) {
    if (s != NET_NONE)
        close((int)s);
}

int net_poll(net_poll_entry *entries, int n, int ms) {
    struct pollfd fds[128];
    if (n > 128)
        n = 128;
    for (int i = 0; i < n; i++) {
        fds[i].fd = (int)entries[i].s;
        fds[i].events = (short)((entries[i].want & NET_IN ? POLLIN : 0) |
                                (entries[i].want & NET_OUT ? POLLOUT : 0));
        fds[i].revents = 0;
    }
    int ready = poll(fds, (nfds_t)n, ms);
    for (int i = 0; i < n; i++) {
        short r = ready > 0 ? fds[i].revents : 0;
        // A hang-up or an error counts as readable: the read that follows finds it.
        entries[i].got =
            (r & (POLLIN | POLLHUP | POLLERR) ? NET_IN : 0) | (r & POLLOUT ? NET_OUT : 0);
    }
    return ready > 0 ? ready : 0;
}

// A local datagram socket under an address the kernel picks, connected to itself: unlike a
// loopback one it needs no network interface up (a node's namespace or a box whose loopback is
// down still gets its wake-ups).
net_socket net_waker(void) {
    int s = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (s < 0)
        return NET_NONE;
    struct sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    socklen_t len = sizeof a;
    if (!non_blocking(s) || bind(s, (struct sockaddr *)&a, sizeof(sa_family_t)) != 0 ||
        getsockname(s, (struct sockaddr *)&a, &len) != 0 ||
        connect(s, (struct sockaddr *)&a, len) != 0) {
        close(s);
        return NET_NONE;
    }
    return s;
}

void net_wake(net_socket waker) {
    char b = 1;
    (void)send((int)waker, &b, 1, MSG_NOSIGNAL); // a full queue of wakes already wakes the poll
}

int net_addresses(char out[][16], int max) {
    struct ifaddrs *all;
    if (getifaddrs(&all) != 0)
        return 0;
    int n = 0;
    for (struct ifaddrs *i = all; i && n < max; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK) ||
            !(i->ifa_flags & IFF_UP))
            continue;
        struct in_addr a = ((struct sockaddr_in *)i->ifa_addr)->sin_addr;
        if (inet_ntop(AF_INET, &a, out[n], 16) != NULL)
            n++;
    }
    freeifaddrs(all);
    return n;
}
