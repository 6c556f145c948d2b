#!/usr/bin/env python3
"""tc_listen.py - a listener of the broadcast station, written from the protocol's
tables alone (Python standard library only), so that a misreading shared by the
station and its own test client cannot pass unnoticed.

Modes (the port is 47482 unless --port says otherwise):
  listen SECONDS   HELLO with its 13 members, then AUDIO for SECONDS: framing, the
                   header fields, sequence and idx steps, the ts steps, idx per second
                   of wall time, and the tone on each channel (Goertzel).
  crowd N          N listeners at once: the first --served (8) get HELLO and AUDIO,
                   the rest see the connection end without HELLO; then "crowded", and
                   the served ones keep reading for --seconds.
  hold SECONDS     connects, reads HELLO, then stops reading for SECONDS (or until
                   killed): its unread data piles up in the kernel.
  greet            sends a LISTENER_HELLO {"an":..., "dev":...} and reads HELLO.
  hello            connects and reads HELLO.
  bye SECONDS      reads until BYE, which must be exactly 00 00 00 04 54 43 01 04,
                   and then the end of the connection, within SECONDS.

What the station must send is waited for WAIT seconds: generous for a loaded machine,
short enough to end a listener whose station never sends it. How fast packets arrive
by the wall clock is printed as a figure, not checked: that is the machine's business.

Every check prints "ok ..." or "FAIL ..."; the last line is "N passed, M failed" and
the exit status is 1 when any check failed.
"""
import argparse
import json
import math
import socket
import struct
import sys
import time

WAIT = 60.0

# Framing: u32 N (big-endian) of the bytes that follow, "TC", version 1, type, body.
MAGIC = b"TC"
VERSION = 1
T_HELLO = 0x01
T_AUDIO = 0x02
T_STATE = 0x03
T_BYE = 0x04
T_LISTENER_HELLO = 0x10
FRAMES_PER_PACKET = 480
AUDIO_HEADER = 36
PCM_BYTES = FRAMES_PER_PACKET * 2 * 2
STREAM_RATE = 48000
MAX_LISTENERS = 8
BYE_BYTES = bytes([0x00, 0x00, 0x00, 0x04, 0x54, 0x43, 0x01, 0x04])
HELLO_MEMBERS = {
    "app": str, "an": str, "kind": str, "dev": str, "sid": str, "codec": str, "ch": int,
    "rate": int, "frames": int, "tref": str, "latNs": int, "idx": int, "os": str,
}

passed = 0
failed = 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
        print("ok   " + what, flush=True)
    else:
        failed += 1
        print("FAIL " + what, flush=True)
    return ok


def finish():
    print("%d passed, %d failed" % (passed, failed), flush=True)
    sys.exit(1 if failed else 0)


class Conn:
    def __init__(self, port, timeout=WAIT):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buf = b""
        self.eof = False

    def fill(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        self.sock.settimeout(left)
        try:
            data = self.sock.recv(65536)
        except socket.timeout:
            return False
        except ConnectionError:
            data = b""
        if not data:
            self.eof = True
            return False
        self.buf += data
        return True

    def frame(self, timeout):
        """(type, raw bytes) of the next whole frame, None on timeout or end."""
        deadline = time.monotonic() + timeout
        while True:
            if len(self.buf) >= 4:
                n = struct.unpack(">I", self.buf[:4])[0]
                if len(self.buf) >= 4 + n:
                    raw = self.buf[:4 + n]
                    self.buf = self.buf[4 + n:]
                    return (raw[7] if n >= 4 else -1), raw
            if self.eof or not self.fill(deadline):
                return None

    def closed_within(self, timeout):
        """True when the station ends the connection within timeout (data before the
        end is read and dropped)."""
        deadline = time.monotonic() + timeout
        while not self.eof:
            if not self.fill(deadline) and not self.eof:
                return False
        return True

    def send_frame(self, ftype, body):
        self.sock.sendall(struct.pack(">I", 4 + len(body)) + MAGIC + bytes([VERSION, ftype]) + body)


def framing_ok(raw):
    n = struct.unpack(">I", raw[:4])[0]
    return n >= 4 and raw[4:6] == MAGIC and raw[6] == VERSION


def read_hello(c, expect_sid, timeout=WAIT):
    got = c.frame(timeout)
    if not check(got is not None and got[0] == T_HELLO, "the first frame is HELLO"):
        return None
    raw = got[1]
    check(framing_ok(raw), "HELLO framing (N, TC, version 1)")
    try:
        hello = json.loads(raw[8:].decode("utf-8"))
    except ValueError:
        check(False, "HELLO body is JSON")
        return None
    check(isinstance(hello, dict) and set(hello) == set(HELLO_MEMBERS),
          "HELLO has exactly the 13 members: %s" % sorted(hello))
    for k, t in HELLO_MEMBERS.items():
        v = hello.get(k)
        check(isinstance(v, t) and not isinstance(v, bool), "HELLO %s is a %s (%r)" % (k, t.__name__, v))
    fixed = {"app": "tessel", "an": "Tessel", "kind": "output", "codec": "pcm16", "ch": 2,
             "rate": 48000, "frames": 480, "tref": "out", "os": "linux"}
    for k, v in fixed.items():
        check(hello.get(k) == v, "HELLO %s = %r (got %r)" % (k, v, hello.get(k)))
    sid = hello.get("sid", "")
    check(len(sid) == 8 and all(ch in "0123456789abcdef" for ch in sid), "sid is 8 lower-case hex digits")
    if expect_sid:
        check(sid == expect_sid, "sid %s equals the data folder's %s" % (sid, expect_sid))
    check(hello.get("latNs", -1) >= 0, "latNs is not negative")
    return hello


def audio_fields(raw):
    n = struct.unpack(">I", raw[:4])[0]
    codec, ch = raw[8], raw[9]
    flags, seq, frames = struct.unpack(">HII", raw[10:20])
    idx, ts = struct.unpack(">QQ", raw[20:36])
    return n, codec, ch, flags, seq, frames, idx, ts


def goertzel(samples, rate, f):
    w = 2.0 * math.pi * f / rate
    coeff = 2.0 * math.cos(w)
    s1 = s2 = 0.0
    for x in samples:
        s0 = x + coeff * s1 - s2
        s2 = s1
        s1 = s0
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2.0 * math.sqrt(max(power, 0.0)) / len(samples)


def tone(samples, rate, around):
    """(frequency, amplitude) of the strongest tone within 4 % of around."""
    best = (around, 0.0)
    for step in (0.005, 0.0005):
        centre = best[0]
        for k in range(-8, 9):
            f = centre * (1.0 + k * step)
            a = goertzel(samples, rate, f)
            if a > best[1]:
                best = (f, a)
    return best


def listen(args):
    c = Conn(args.port)
    hello = read_hello(c, args.sid)
    if hello is None:
        return
    packets = []
    states = 0
    end = time.monotonic() + args.seconds
    while time.monotonic() < end:
        got = c.frame(max(0.01, end - time.monotonic()))
        if got is None:
            if c.eof:
                break
            continue
        if got[0] == T_STATE:
            states += 1
            continue
        if got[0] == T_AUDIO:
            packets.append((time.monotonic(), got[1]))
    c.sock.close()
    check(not args.no_state or states == 0, "no STATE while the stream runs (%d seen)" % states)
    if not check(len(packets) > 100, "AUDIO packets arrived (%d)" % len(packets)):
        return
    fields = [audio_fields(raw) for _, raw in packets]
    check(fields[0][3] & 1 == 1, "the first AUDIO packet carries the resync flag")
    check(all(framing_ok(raw) for _, raw in packets), "every AUDIO frame: N, TC, version 1")
    check(all(f[1] == 1 and f[2] == 2 and f[5] == FRAMES_PER_PACKET for f in fields),
          "every AUDIO packet: codec 1, 2 channels, 480 frames")
    check(all((f[0] == 32 + PCM_BYTES and len(raw) == AUDIO_HEADER + PCM_BYTES) or
              (f[0] == 32 and f[3] & 2 and len(raw) == AUDIO_HEADER) for f, (_, raw) in zip(fields, packets)),
          "every AUDIO length is 1956, or 36 for a silent packet")
    seq_ok = all(b[4] == a[4] + 1 for a, b in zip(fields, fields[1:]))
    idx_ok = all(b[6] == a[6] + FRAMES_PER_PACKET for a, b in zip(fields, fields[1:]))
    check(seq_ok, "sequence +1 per packet")
    check(idx_ok, "idx +480 per packet")
    # Packets of one pushed block are dated 480 frames at 48 kHz apart: exactly 10 ms.
    # Between blocks the step is the time between the pushes, which is the audio
    # server's business (printed as the mean).
    steps = [(b[7] - a[7]) / 1e6 for a, b in zip(fields, fields[1:])]
    mean = sum(steps) / len(steps)
    jitter = math.sqrt(sum((s - mean) ** 2 for s in steps) / len(steps))
    exact = sum(1 for s in steps if abs(s - 10.0) < 0.001)
    check(exact >= len(steps) * 0.3, "ts steps of exactly 10 ms within a pushed block (%d of %d)" % (exact, len(steps)))
    # Wall time from the first to the last packet, taken where they arrived: a figure
    # (the tones below check the rate the samples were made at).
    wall = packets[-1][0] - packets[0][0]
    per_second = (fields[-1][6] - fields[0][6]) / wall
    print("figure packets/s %.1f idx frames/s of wall time %.0f ts step mean %.3f ms jitter %.3f ms" %
          (len(packets) / wall, per_second, mean, jitter))
    # The tones, from one second of consecutive packets in the middle.
    pcm = []
    mid = len(packets) // 2 - 50
    for _, raw in packets[max(0, mid):max(0, mid) + 100]:
        if len(raw) == AUDIO_HEADER + PCM_BYTES:
            pcm.extend(struct.unpack("<%dh" % (FRAMES_PER_PACKET * 2), raw[AUDIO_HEADER:]))
        else:
            pcm.extend([0] * FRAMES_PER_PACKET * 2)
    left = [x / 32767.0 for x in pcm[0::2]]
    right = [x / 32767.0 for x in pcm[1::2]]
    for name, chan, want in (("left", left, args.left), ("right", right, args.right)):
        f, a = tone(chan, STREAM_RATE, want)
        check(abs(f / want - 1.0) < 0.005, "%s tone %.2f Hz, wanted %.2f +- 0.5 %%" % (name, f, want))
        check(0.1 < a < 0.3, "%s level %.3f, about 0.2 full scale" % (name, a))
        print("figure %s %.2f Hz level %.3f" % (name, f, a))


def crowd(args):
    conns = [Conn(args.port) for _ in range(args.count)]
    for i, c in enumerate(conns):
        if i < args.served:
            got = c.frame(WAIT)
            check(got is not None and got[0] == T_HELLO, "listener %d gets HELLO" % (i + 1))
            seen = False
            for _ in range(200):
                got = c.frame(WAIT)
                if got is None:
                    break
                if got[0] == T_AUDIO:
                    seen = True
                    break
            check(seen, "listener %d gets AUDIO" % (i + 1))
        else:
            got = c.frame(WAIT)
            check(got is None and c.eof, "listener %d sees the end without HELLO" % (i + 1))
    print("crowded", flush=True)
    # Stay connected and reading until told to stop.
    end = time.monotonic() + args.seconds
    while time.monotonic() < end:
        for c in conns[:args.served]:
            c.buf = b""
            c.fill(time.monotonic() + 0.01)
    alive = 0
    for c in conns[:args.served]:
        c.buf = b""
        if c.fill(time.monotonic() + WAIT):
            alive += 1
    print("figure listeners still receiving %d" % alive)
    check(alive == args.served, "%d listeners still receive (want %d)" % (alive, args.served))


def hold(args):
    c = Conn(args.port, timeout=WAIT)
    c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    got = c.frame(WAIT)
    check(got is not None and got[0] == T_HELLO, "the held listener gets HELLO")
    print("holding", flush=True)
    time.sleep(args.seconds)


def greet(args):
    c = Conn(args.port)
    body = json.dumps({"an": args.an, "dev": args.dev}, separators=(",", ":")).encode()
    c.send_frame(T_LISTENER_HELLO, body)
    got = c.frame(WAIT)
    check(got is not None and got[0] == T_HELLO, "the greeting listener gets HELLO")
    time.sleep(1.0)


def bye(args):
    c = Conn(args.port)
    got = c.frame(WAIT)
    check(got is not None and got[0] == T_HELLO, "the listener gets HELLO")
    print("listening", flush=True)
    end = time.monotonic() + args.seconds
    last = None
    while time.monotonic() < end:
        got = c.frame(max(0.01, end - time.monotonic()))
        if got is None:
            break
        last = got
    check(last is not None and last[1] == BYE_BYTES, "the last frame is BYE, exactly 00 00 00 04 54 43 01 04")
    check(c.eof, "the connection ends after BYE")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode", choices=["listen", "crowd", "hold", "greet", "hello", "bye"])
    p.add_argument("value", type=float, nargs="?", default=5.0)
    p.add_argument("--port", type=int, default=47482)
    p.add_argument("--sid", default="")
    p.add_argument("--left", type=float, default=240.0)
    p.add_argument("--right", type=float, default=720.0)
    p.add_argument("--no-state", action="store_true")
    p.add_argument("--seconds", type=float, default=0.0)
    p.add_argument("--served", type=int, default=MAX_LISTENERS)
    p.add_argument("--an", default="desk")
    p.add_argument("--dev", default="Studio")
    args = p.parse_args()
    try:
        if args.mode == "listen":
            args.seconds = args.value
            listen(args)
        elif args.mode == "crowd":
            args.count = int(args.value)
            crowd(args)
        elif args.mode == "hold":
            args.seconds = args.value
            hold(args)
        elif args.mode == "greet":
            greet(args)
        elif args.mode == "hello":
            c = Conn(args.port)
            got = c.frame(WAIT)
            check(got is not None and got[0] == T_HELLO, "a new listener gets HELLO")
        else:
            args.seconds = args.value
            bye(args)
    except OSError as e:
        check(False, "connection: %s" % e)
    finish()


if __name__ == "__main__":
    main()
