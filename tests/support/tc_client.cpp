// tc_client.cpp - the loopback test listener on BSD sockets and poll.
#include "support/tc_client.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

static uint64_t be_read(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++)
        v = v << 8 | p[i];
    return v;
}

uint32_t TcFrame::n() const
{
    return bytes.size() >= 4 ? (uint32_t)be_read(bytes.data(), 4) : 0;
}
uint64_t TcFrame::u64_at(size_t offset) const
{
    return offset + 8 <= bytes.size() ? be_read(bytes.data() + offset, 8) : 0;
}
uint32_t TcFrame::u32_at(size_t offset) const
{
    return offset + 4 <= bytes.size() ? (uint32_t)be_read(bytes.data() + offset, 4) : 0;
}
uint16_t TcFrame::u16_at(size_t offset) const
{
    return offset + 2 <= bytes.size() ? (uint16_t)be_read(bytes.data() + offset, 2) : 0;
}

TcClient::TcClient(uint16_t port, int recv_buffer)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (recv_buffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &recv_buffer, sizeof recv_buffer);
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (sockaddr*)&addr, sizeof addr) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

TcClient::~TcClient()
{
    close();
}

void TcClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TcClient::send_raw(const void* data, size_t len)
{
    const uint8_t* p = (const uint8_t*)data;
    while (fd_ >= 0 && len > 0) {
        ssize_t n = send(fd_, p, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= (size_t)n;
    }
    return fd_ >= 0;
}

bool TcClient::send_frame(uint8_t type, const void* body, size_t len)
{
    std::vector<uint8_t> f(8 + len);
    uint32_t n = (uint32_t)len + 4;
    f[0] = (uint8_t)(n >> 24);
    f[1] = (uint8_t)(n >> 16);
    f[2] = (uint8_t)(n >> 8);
    f[3] = (uint8_t)n;
    f[4] = 'T';
    f[5] = 'C';
    f[6] = 1;
    f[7] = type;
    if (len)
        std::memcpy(f.data() + 8, body, len);
    return send_raw(f.data(), f.size());
}

bool TcClient::send_ping(uint64_t t)
{
    uint8_t b[8];
    for (int i = 0; i < 8; i++)
        b[i] = (uint8_t)(t >> (56 - 8 * i));
    return send_frame(0x11, b, 8);
}

bool TcClient::send_hello(const char* json)
{
    return send_frame(0x10, json, std::strlen(json));
}

int TcClient::next(TcFrame* out, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (buf_.size() >= 4) {
            size_t whole = (size_t)be_read(buf_.data(), 4) + 4;
            if (buf_.size() >= whole) {
                if (out)
                    out->bytes.assign(buf_.begin(), buf_.begin() + (long)whole);
                buf_.erase(buf_.begin(), buf_.begin() + (long)whole);
                return 1;
            }
        }
        if (eof_ || fd_ < 0)
            return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, (int)left.count()) <= 0)
            continue;
        uint8_t chunk[65536];
        ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            eof_ = true;
            continue;
        }
        buf_.insert(buf_.end(), chunk, chunk + n);
    }
}

bool TcClient::wait_for(uint8_t type, TcFrame* out, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    TcFrame f;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || next(&f, (int)left.count()) != 1)
            return false;
        if (f.type() == type) {
            if (out)
                *out = f;
            return true;
        }
    }
}

bool TcClient::wait_closed(int timeout_ms, int* frames_read)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int count = 0;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        int r = left.count() > 0 ? next(nullptr, (int)left.count()) : 0;
        if (r == 1) {
            count++;
            continue;
        }
        if (frames_read)
            *frames_read = count;
        return r == -1;
    }
}

float tc_test_signal(int64_t n, int ch)
{
    int64_t step = ch == 0 ? n % 1024 : (n * 7) % 1024;
    float v = 0.25f + (float)step / 8192.0f;
    return ch == 0 ? v : -v;
}

std::vector<float> tc_test_block(int64_t first, int count)
{
    std::vector<float> out((size_t)count * 2);
    for (int i = 0; i < count; i++) {
        out[(size_t)i * 2] = tc_test_signal(first + i, 0);
        out[(size_t)i * 2 + 1] = tc_test_signal(first + i, 1);
    }
    return out;
}
