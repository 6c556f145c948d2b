#!/usr/bin/env python3
"""jack_cycles.py FILE -> a JACK client that counts the frames of the cycles it is run
for, and writes "SECONDS BLOCK" to FILE (replaced whole; the count and one cycle, in
seconds) every 20 ms until it is ended or the server goes. JACK_DEFAULT_SERVER names the server; exits 1 when none
answers.

A server on a loaded machine runs no client for a cycle while any client of the cycle
before has not finished, and logs only the first: the cycles counted here are the ones
the whole graph, the program with it, was run for."""
import ctypes
import ctypes.util
import os
import signal
import sys
import time

JACK_NO_START_SERVER = 1
out = sys.argv[1]
try:
    jack = ctypes.CDLL(ctypes.util.find_library("jack") or "libjack.so.0")
except OSError:
    sys.exit(1)
jack.jack_client_open.restype = ctypes.c_void_p
jack.jack_client_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p]
PROCESS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_uint32, ctypes.c_void_p)
SHUTDOWN = ctypes.CFUNCTYPE(None, ctypes.c_void_p)
jack.jack_set_process_callback.argtypes = [ctypes.c_void_p, PROCESS, ctypes.c_void_p]
jack.jack_on_shutdown.argtypes = [ctypes.c_void_p, SHUTDOWN, ctypes.c_void_p]
for name in ("jack_activate", "jack_client_close"):
    getattr(jack, name).argtypes = [ctypes.c_void_p]
for name in ("jack_get_sample_rate", "jack_get_buffer_size"):
    getattr(jack, name).argtypes = [ctypes.c_void_p]
    getattr(jack, name).restype = ctypes.c_uint32

frames = 0
gone = False


def process(nframes, _arg):
    global frames
    frames += nframes
    return 0


def shutdown(_arg):
    global gone
    gone = True


process_cb = PROCESS(process)
shutdown_cb = SHUTDOWN(shutdown)
client = jack.jack_client_open(b"e2e_cycles", JACK_NO_START_SERVER, None)
if not client:
    sys.exit(1)
rate = jack.jack_get_sample_rate(client) or 48000
block = jack.jack_get_buffer_size(client)
jack.jack_set_process_callback(client, process_cb, None)
jack.jack_on_shutdown(client, shutdown_cb, None)
if jack.jack_activate(client) != 0:
    sys.exit(1)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))


def write(seconds):
    with open(out + ".tmp", "w") as f:
        f.write("%.6f %.6f\n" % (seconds, block / rate))
    os.replace(out + ".tmp", out)


try:
    while not gone:
        if frames:
            write(frames / rate)
        time.sleep(0.02)
finally:
    if not gone:
        jack.jack_client_close(client)
