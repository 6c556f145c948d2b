// plat_net.h - TCP sockets for servers that never block: a listener, non-blocking
// accept, send and receive, a bounded wait for readable sockets, and the host name.
// Threads: any; one socket is used by one thread at a time.
// Depends on: BSD sockets (socket, bind, listen, accept4, poll, send, recv).
#pragma once
#include <cstddef>
#include <cstdint>

typedef int PlatSocket;
enum { PLAT_SOCKET_INVALID = -1 };

// Outcome of a send or receive that moved no bytes.
enum {
    PLAT_NET_WOULD_BLOCK = -1,   // nothing can move now; try again later
    PLAT_NET_FAILED = -2,        // the connection is broken
};

// Opens a non-blocking TCP listener on every local address at port (0: the system
// picks one): IPv6 with IPv4 mapped in first, IPv4 alone when that cannot be had.
// SO_REUSEADDR is set, so a port left in TIME_WAIT can be taken again at once.
// Returns 0 with *out and *bound_port (may be null) set; -1 when no socket can be
// made, -2 when the port cannot be bound, -3 when listening fails; *error (may be
// null) then holds the system's error number.
int plat_net_listen_tcp(uint16_t port, int backlog, PlatSocket* out, uint16_t* bound_port, int* error);

// The same listener on 127.0.0.1 alone, unreachable from other computers.
int plat_net_listen_loopback(uint16_t port, int backlog, PlatSocket* out, uint16_t* bound_port, int* error);

// Takes one pending connection, non-blocking and close-on-exec. PLAT_SOCKET_INVALID
// when none is pending (or the accept failed).
PlatSocket plat_net_accept(PlatSocket listener);

bool plat_net_set_nodelay(PlatSocket s);        // TCP_NODELAY on

// Sends up to len bytes without waiting and without SIGPIPE. Returns the bytes sent
// (at least 1 when len > 0), PLAT_NET_WOULD_BLOCK or PLAT_NET_FAILED.
long plat_net_send(PlatSocket s, const void* data, size_t len);
// Receives up to len (> 0) bytes without waiting. Returns the bytes read, 0 when the
// peer closed, PLAT_NET_WOULD_BLOCK or PLAT_NET_FAILED.
long plat_net_recv(PlatSocket s, void* data, size_t len);

void plat_net_shutdown_send(PlatSocket s);     // sends the end of the stream (FIN)
void plat_net_close(PlatSocket s);              // PLAT_SOCKET_INVALID is ignored

// Waits at most timeout_ms for any of count sockets to become readable (a closed or
// broken connection counts as readable). ready[i] becomes 1 for each such socket.
// Returns how many are ready, 0 on timeout or interruption.
int plat_net_wait_readable(const PlatSocket* sockets, int count, uint8_t* ready, int timeout_ms);

// The computer's name, cut to fit; false (out empty) when it cannot be read.
bool plat_net_host_name(char* out, size_t out_size);
