// plat_net.cpp - the TCP calls of plat_net.h on BSD sockets and poll.
#include "platform/plat_net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

enum { PLAT_NET_MAX_WAIT = 64 };

static bool net_set_nonblocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

static uint16_t net_bound_port(int fd)
{
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    if (getsockname(fd, (sockaddr*)&addr, &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET6)
        return ntohs(((sockaddr_in6*)&addr)->sin6_port);
    if (addr.ss_family == AF_INET)
        return ntohs(((sockaddr_in*)&addr)->sin_port);
    return 0;
}

// The dual-stack attempt: any failure closes the socket and reports -1.
static int net_listen_v6(uint16_t port)
{
    int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int off = 0, on = 1;
    sockaddr_in6 addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_any;
    addr.sin6_port = htons(port);
    if (setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, (sockaddr*)&addr, sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// An IPv4 socket bound to addr:port; -1 (error set) when none can be made, -2 when
// the address cannot be bound.
static int net_bind_v4(uint32_t addr_host, uint16_t port, int* error)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = errno;
        return -1;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(addr_host);
    addr.sin_port = htons(port);
    if (bind(fd, (sockaddr*)&addr, sizeof addr) != 0) {
        if (error)
            *error = errno;
        close(fd);
        return -2;
    }
    return fd;
}

// Listens on a bound socket, non-blocking; the status of plat_net_listen_tcp.
static int net_finish_listen(int fd, int backlog, PlatSocket* out, uint16_t* bound_port, int* error)
{
    if (fd < 0)
        return fd;
    if (listen(fd, backlog) != 0 || !net_set_nonblocking(fd)) {
        if (error)
            *error = errno;
        close(fd);
        return -3;
    }
    if (bound_port)
        *bound_port = net_bound_port(fd);
    if (out)
        *out = fd;
    return 0;
}

int plat_net_listen_tcp(uint16_t port, int backlog, PlatSocket* out, uint16_t* bound_port, int* error)
{
    if (out)
        *out = PLAT_SOCKET_INVALID;
    if (error)
        *error = 0;
    int fd = net_listen_v6(port);
    if (fd < 0)
        fd = net_bind_v4(INADDR_ANY, port, error);
    return net_finish_listen(fd, backlog, out, bound_port, error);
}

int plat_net_listen_loopback(uint16_t port, int backlog, PlatSocket* out, uint16_t* bound_port, int* error)
{
    if (out)
        *out = PLAT_SOCKET_INVALID;
    if (error)
        *error = 0;
    return net_finish_listen(net_bind_v4(INADDR_LOOPBACK, port, error), backlog, out, bound_port, error);
}

PlatSocket plat_net_accept(PlatSocket listener)
{
    if (listener < 0)
        return PLAT_SOCKET_INVALID;
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0)
            return fd;
        // A connection reset while it waited is gone; the next one may still be there.
        if (errno != EINTR && errno != ECONNABORTED)
            return PLAT_SOCKET_INVALID;
    }
}

bool plat_net_set_nodelay(PlatSocket s)
{
    int on = 1;
    return s >= 0 && setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

long plat_net_send(PlatSocket s, const void* data, size_t len)
{
    if (s < 0)
        return PLAT_NET_FAILED;
    for (;;) {
        ssize_t n = send(s, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            return (long)n;
        if (n == 0)
            return PLAT_NET_WOULD_BLOCK;
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? PLAT_NET_WOULD_BLOCK : PLAT_NET_FAILED;
    }
}

long plat_net_recv(PlatSocket s, void* data, size_t len)
{
    if (s < 0 || len == 0)
        return PLAT_NET_FAILED;
    for (;;) {
        ssize_t n = recv(s, data, len, MSG_DONTWAIT);
        if (n >= 0)
            return (long)n;
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? PLAT_NET_WOULD_BLOCK : PLAT_NET_FAILED;
    }
}

void plat_net_shutdown_send(PlatSocket s)
{
    if (s >= 0)
        shutdown(s, SHUT_WR);
}

void plat_net_close(PlatSocket s)
{
    if (s >= 0)
        close(s);
}

int plat_net_wait_readable(const PlatSocket* sockets, int count, uint8_t* ready, int timeout_ms)
{
    if (count > PLAT_NET_MAX_WAIT)
        count = PLAT_NET_MAX_WAIT;
    if (count < 0)
        count = 0;
    pollfd fds[PLAT_NET_MAX_WAIT];
    for (int i = 0; i < count; i++) {
        fds[i].fd = sockets[i];
        fds[i].events = POLLIN;
        fds[i].revents = 0;
        if (ready)
            ready[i] = 0;
    }
    int n = poll(fds, (nfds_t)count, timeout_ms < 0 ? 0 : timeout_ms);
    if (n <= 0)
        return 0;
    int found = 0;
    for (int i = 0; i < count; i++) {
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (ready)
                ready[i] = 1;
            found++;
        }
    }
    return found;
}

bool plat_net_host_name(char* out, size_t out_size)
{
    if (!out || out_size == 0)
        return false;
    out[0] = '\0';
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return false;
    name[sizeof name - 1] = '\0';
    if (!name[0])
        return false;
    size_t n = std::strlen(name);
    if (n >= out_size)
        n = out_size - 1;
    std::memcpy(out, name, n);
    out[n] = '\0';
    return true;
}
