"""Calls Zip() of a libzip32j.so once and prints the seconds the call took."""
import ctypes
import sys
import time

lib = ctypes.CDLL(sys.argv[1])
lib.Zip.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_ulong]
start = time.perf_counter()
rc = lib.Zip(None, sys.argv[2].encode(), None, 0)
elapsed = time.perf_counter() - start
if rc != 0:
    sys.exit(f"Zip returned {rc}")
print(f"{elapsed:.3f}")
