// tc_client.h - a loopback listener of the broadcast protocol for tests: connects to
// 127.0.0.1, sends raw bytes or whole frames, and reads the station's frames back
// with timeouts. Misbehaving peers are made from it by not reading, sending junk or
// closing at the wrong moment.
// Threads: one client is used by one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What must come (a frame, a close) is waited for this long: generous for a loaded
// machine, short enough to end a test whose station never sends it.
constexpr int TC_WAIT_MS = 60000;

// One received frame, header included.
struct TcFrame {
    std::vector<uint8_t> bytes;
    uint8_t type() const { return bytes.size() > 7 ? bytes[7] : 0; }
    uint32_t n() const;                               // the length word
    const uint8_t* body() const { return bytes.data() + 8; }
    size_t body_size() const { return bytes.size() - 8; }
    uint64_t u64_at(size_t offset) const;             // big-endian
    uint32_t u32_at(size_t offset) const;
    uint16_t u16_at(size_t offset) const;
};

class TcClient {
public:
    // Connects (blocking) to 127.0.0.1:port. recv_buffer > 0 shrinks the receive buffer
    // first, so a client that never reads fills up quickly.
    explicit TcClient(uint16_t port, int recv_buffer = 0);
    ~TcClient();
    TcClient(const TcClient&) = delete;
    TcClient& operator=(const TcClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send_raw(const void* data, size_t len);
    bool send_frame(uint8_t type, const void* body, size_t len);   // "TC", version 1
    bool send_ping(uint64_t t);
    bool send_hello(const char* json);

    // The next whole frame: 1 with *out, 0 on timeout, -1 when the station closed
    // the connection (any bytes of an unfinished frame are left in pending()).
    int next(TcFrame* out, int timeout_ms);
    // Skips frames until one of this type: true with *out (may be null).
    bool wait_for(uint8_t type, TcFrame* out, int timeout_ms);
    // Reads and counts frames until the station closes: true when it did in time.
    bool wait_closed(int timeout_ms, int* frames_read = nullptr);
    size_t pending() const { return buf_.size(); }
    void close();

private:
    int fd_ = -1;
    bool eof_ = false;
    std::vector<uint8_t> buf_;
};

// The sample value of frame n of a test signal on channel ch (0 left, 1 right): a
// ramp that never comes near silence, so every packet carries samples.
float tc_test_signal(int64_t n, int ch);
// Interleaved stereo frames first..first+count-1 of the test signal.
std::vector<float> tc_test_block(int64_t first, int count);
