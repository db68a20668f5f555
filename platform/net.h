// Network sockets, per operating system (net_unix.cpp, net_win.cpp): the few calls the tablet
// panel's server and the simulator link's client make, every socket non-blocking. Kept apart from
// platform.h because the Windows socket headers and the graphics library's cannot meet in one file.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef intptr_t net_socket; // a socket handle; NET_NONE for none
#define NET_NONE ((net_socket)-1)
#define NET_AGAIN -2 // net_recv, net_send: nothing could be moved now without waiting
#define NET_IN 1     // net_poll: readable (or closed by the peer)
#define NET_OUT 2    // net_poll: writable

typedef struct {
    net_socket s;
    int want, got; // NET_IN and NET_OUT: asked for, and found ready
} net_poll_entry;

int net_start(void); // readies the socket library once per user (0, or -1); net_end undoes it
void net_end(void);  // lets go of the socket library (once per successful net_start)
// A TCP listener on port of every interface (IPv4), or NET_NONE when the port cannot be had.
net_socket net_listen(int port);
// A TCP connection to host (a name or a numeric address) on port, non-blocking and without
// delay for small writes, made within ms; NET_NONE and why (in why, at most size) when none.
net_socket net_connect(const char *host, int port, int ms, char *why, size_t size);
// The next waiting connection, non-blocking, and its peer's IPv4 address; NET_NONE if none.
net_socket net_accept(net_socket listener, uint32_t *addr);
// Bytes read (> 0), 0 when the peer closed, NET_AGAIN when none wait, -1 on an error.
int net_recv(net_socket s, void *buf, int size);
// Bytes sent (> 0), NET_AGAIN when the peer's buffers are full, -1 on an error (never a signal).
int net_send(net_socket s, const void *buf, int size);
void net_close(net_socket s); // closes a socket at once (NET_NONE is ignored)
// Waits until one of the sockets is ready as asked or ms have passed; how many are ready.
int net_poll(net_poll_entry *entries, int n, int ms);
// A datagram socket that sends to itself (a local one on Linux, a loopback one on Windows): a
// way to wake a thread waiting in net_poll from another thread (net_wake), drained with net_recv.
net_socket net_waker(void);
void net_wake(net_socket waker); // one datagram to the waker: its poll finds it readable
// The machine's IPv4 addresses other than loopback, as text, at most max; how many.
int net_addresses(char out[][16], int max);
