"""Loads libvesk-netdev.so with ctypes and calls its three functions, inside
a private network with one peer instrument announcing two devices
(0x11223344:0x55667788 at 192.168.7.2, 0x11223345:0x55667788 at 192.168.7.3).

usage: netdev_ctypes_test.py PATH/TO/libvesk-netdev.so
"""

import ctypes
import os
import shutil
import struct
import subprocess
import sys

EXPORTS = {"Device_GetNetworkDeviceList", "Device_SetNetworkDeviceIP", "Device_SetNetworkDeviceIP_PM1"}
OK, ADDRESS_NOT_LISTED, INVALID_ARGUMENT = 0, 10069, 10204


def exported_symbols(path):
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    out = subprocess.run(["nm", "-D", "--defined-only", path], capture_output=True, text=True, check=True,
                         env=environment)
    return {line.split()[-1] for line in out.stdout.splitlines() if line.strip()}


def main():
    path = sys.argv[1]
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    if shutil.which("nm"):
        symbols = exported_symbols(path)
        expect(symbols == EXPORTS, "only the three functions exported, got %s" % sorted(symbols))

    lib = ctypes.CDLL(path)
    u8p = ctypes.POINTER(ctypes.c_uint8)
    i32p = ctypes.POINTER(ctypes.c_int32)
    lib.Device_GetNetworkDeviceList.argtypes = [u8p, u8p, u8p, u8p]
    lib.Device_GetNetworkDeviceList.restype = ctypes.c_int32
    lib.Device_SetNetworkDeviceIP.argtypes = [ctypes.c_uint32, ctypes.c_uint32, i32p, i32p]
    lib.Device_SetNetworkDeviceIP.restype = ctypes.c_int32
    lib.Device_SetNetworkDeviceIP_PM1.argtypes = [u8p, i32p, i32p]
    lib.Device_SetNetworkDeviceIP_PM1.restype = ctypes.c_int32

    count = ctypes.c_uint8(0xEE)
    records = (ctypes.c_uint8 * 2048)(*([0xEE] * 2048))
    local = (ctypes.c_uint8 * 4)()
    mask = (ctypes.c_uint8 * 4)()
    result = lib.Device_GetNetworkDeviceList(ctypes.byref(count), records, local, mask)
    expect(result == OK, "list result %d" % result)
    expect(count.value == 2, "count %d" % count.value)
    data = bytes(records)
    expect(struct.unpack_from("<II", data, 0) == (0x11223344, 0x55667788), "first identifier")
    expect(data[20:24] == bytes([192, 168, 7, 2]), "first current address")
    expect(struct.unpack_from("<II", data, 32) == (0x11223345, 0x55667788), "second identifier")
    expect(data[64:] == bytes(2048 - 64), "rest of the list cleared")
    expect(bytes(local) == bytes([192, 168, 7, 1]), "host address %s" % list(local))
    expect(bytes(mask) == bytes([255, 255, 255, 0]), "mask %s" % list(mask))

    first, second = ctypes.c_int32(0x0A07A8C0), ctypes.c_int32(-256)
    result = lib.Device_SetNetworkDeviceIP(0x11223344, 0x55667788, ctypes.byref(first), ctypes.byref(second))
    expect(result == OK, "assignment by identifier %d" % result)

    unlisted = (ctypes.c_uint8 * 4)(192, 168, 7, 9)
    result = lib.Device_SetNetworkDeviceIP_PM1(unlisted, ctypes.byref(first), ctypes.byref(second))
    expect(result == ADDRESS_NOT_LISTED, "unlisted address %d" % result)

    result = lib.Device_SetNetworkDeviceIP_PM1(None, ctypes.byref(first), ctypes.byref(second))
    expect(result == INVALID_ARGUMENT, "null address %d" % result)

    for what in failures:
        print("FAILED:", what, file=sys.stderr)
    if not failures:
        print("all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
