"""Makes a device file whose log holds N varied entries, the log benchmark's
device: reads and writes of many settings (some refused), job value reads,
notifications, monitor lines with UTF-8, control bytes and backslashes, and
faults armed, fired and cleared, all through libdevsim's services.

    /usr/bin/python3 bench/log_device.py LIBDEVSIM DEVICE [N]
"""
import ctypes
import os
import sys

lib = ctypes.CDLL(sys.argv[1])
device, count = sys.argv[2].encode(), int(sys.argv[3]) if len(sys.argv) > 3 else 10000
AREA, WRITER = 0x04050300, 0x7302
# Settings IDs of several groups and sizes, and one the device does not know.
IDS = [0x85005B3C, 0x850063D4, 0x85005894, 0x85005164, 0x85005484, 0x85006334, 0x12345678]
TEXTS = [b"job %d sent", b"caf\xc3\xa9 \\ %d", b"tab\there %d\n", b"bad \xff byte %d", b"%s"]

for name, args in [
    ("devsim_open", [ctypes.c_char_p]),
    ("devsim_reset", [ctypes.c_int]),
    ("devsim_fault_add", [ctypes.c_char_p]),
    ("devsim_fault_clear", [ctypes.c_uint64]),
    ("devsim_last_seq", []),
]:
    getattr(lib, name).argtypes = args
lib.devsim_fault_add.restype = lib.devsim_last_seq.restype = ctypes.c_uint64
if lib.devsim_open(device) != 0 or lib.devsim_reset(0) != 0:
    sys.exit(f"cannot make {sys.argv[2]}")
# The device says each broken rule on stderr too: thousands of lines.
os.dup2(os.open(os.devnull, os.O_WRONLY), 2)
start = lib.devsim_last_seq()
buf = ctypes.create_string_buffer(4096)
i = 0
while lib.devsim_last_seq() - start < count:
    sid = IDS[i % len(IDS)]
    step = i % 10
    if step < 4:
        lib.meSTCGetStatus(AREA, sid, buf)
    elif step < 6:
        buf.raw = bytes([i & 0xFF]) * 4096
        lib.meSTCSetStatus(WRITER, AREA, sid, buf)
    elif step == 6:
        lib.meSVCGetCurrent(i % 7, 0x100 + i % 5, buf)
    elif step == 7:
        lib.mscMLRPTChgSMTPProtocol(i % 3)
    elif step == 8:
        text = TEXTS[i // 10 % len(TEXTS)]
        lib.emwGENMonSendMessage(i % 9, 1, 0, text, *([b"plain"] if text == b"%s" else [i]))
    elif i % 30 == 9:
        fid = lib.devsim_fault_add(b"meSTCGetStatus=0x1234")
        lib.meSTCGetStatus(AREA, sid, buf)
        lib.devsim_fault_clear(fid)
    else:
        lib.mectIdSync(i % 2)
    i += 1
lib.devsim_open(b":memory:")
