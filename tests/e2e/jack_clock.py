#!/usr/bin/env python3
"""jack_clock.py -> prints the JACK server's own clock: the frames its cycles have run
through, in seconds, and one cycle's length in seconds ("SECONDS BLOCK"). Exits 1 when
no server answers (JACK_DEFAULT_SERVER names it).

A server on a loaded machine falls behind the wall clock and does not catch up, so a
loop recorded between two presses is as long as this clock says, not the wall's."""
import ctypes
import ctypes.util
import sys

JACK_NO_START_SERVER = 1

try:
    jack = ctypes.CDLL(ctypes.util.find_library("jack") or "libjack.so.0")
except OSError:
    sys.exit(1)
jack.jack_client_open.restype = ctypes.c_void_p
jack.jack_client_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p]
for name in ("jack_last_frame_time", "jack_get_sample_rate", "jack_get_buffer_size"):
    getattr(jack, name).argtypes = [ctypes.c_void_p]
    getattr(jack, name).restype = ctypes.c_uint32
jack.jack_client_close.argtypes = [ctypes.c_void_p]

client = jack.jack_client_open(b"e2e_clock", JACK_NO_START_SERVER, None)
if not client:
    sys.exit(1)
rate = jack.jack_get_sample_rate(client)
frames = jack.jack_last_frame_time(client)
block = jack.jack_get_buffer_size(client)
jack.jack_client_close(client)
if rate == 0:
    sys.exit(1)
print("%.6f %.6f" % (frames / rate, block / rate))
