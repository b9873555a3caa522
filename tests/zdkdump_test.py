#!/usr/bin/env python3
"""End-to-end cases for zdkdump: one line each, status, arguments, output.
Round trips read back images that the built zdkgen wrote.

  zdkdump_test.py --tool build/dev/zdkdump --zdkgen build/dev/zdkgen
                  [--launcher 'qemu-ppc'] [-k TEXT]
"""

import struct
import sys

from harness import DIR, FIFO, MAGIC, Json, Made, case, image, main

USAGE = ("usage: zdkdump [-hq] [--json] [--version] [--] FILE...\n"
         "  -h, --help     print this text and exit\n"
         "  -q, --quiet    print nothing; the exit status tells\n"
         "      --json     print one JSON document for all files\n"
         "      --version  print the version and exit\n")
STICKY_VALID = 0x40000000
HALT_BIT = 0x80000000
POSIX = ("native", "emulated")  # hosts with FIFOs and any byte in a name


def made(name, entries=(), plat=0, pkg=0, flags=0, env=None):
    """Fixtures for an image that zdkgen writes: a sparse process file of
    each size, then the image itself."""
    given = {f"s{size}": size for _, size in entries}
    args = ["-q", "-i", hex(plat), "-j", hex(pkg), "-f", hex(flags),
            "-o", name]
    if entries:
        args += ["-p", ",".join(f"s{size}" for _, size in entries),
                 "-a", ",".join(hex(a) for a, _ in entries)]
    given[name] = Made("zdkgen", args, env)
    return given


def word(label, value, names=()):
    text = f"  {label:<20} 0x{value:08x}"
    return text + (f" ({'|'.join(names)})" if names else "") + "\n"


def listing(name, entries=(), plat=0, pkg=0, flags=0, sticky=0, length=None,
            count=None, magic=MAGIC, reserved=bytes(8)):
    """The text form, written out independently of the tool."""
    count = len(entries) if count is None else count
    length = (8 * count + 63) & ~31 if length is None else length
    out = f"{name}: {length} bytes\n"
    out += f"  {'magic':<20} " + " ".join(f"{b:02X}" for b in magic) + "\n"
    out += f"  {'entry_count':<20} {count}\n"
    out += word("platform_info_paddr", plat)
    out += word("package_info_paddr", pkg)
    out += word("boot_flags", flags,
                ["FLAG_STICKY_VALID"] if flags & STICKY_VALID else [])
    out += word("sticky_word", sticky,
                ["STICKY_HALT_AT_STARTUP"] if sticky & HALT_BIT else [])
    out += f"  {'reserved':<20} " + " ".join(f"{b:02X}" for b in reserved) + "\n"
    out += "  entry     address        size     decimal\n"
    for i, (address, size) in enumerate(entries):
        out += f"  {i:5}  0x{address:08x}  0x{size:08x}  {size:10}\n"
    return out


def record(name, entries=(), plat=0, pkg=0, flags=0, sticky=0, length=None,
           count=None, magic=MAGIC, reserved=bytes(8), problems=()):
    """The --json form of one file."""
    count = len(entries) if count is None else count
    length = (8 * count + 63) & ~31 if length is None else length
    return {"name": name, "length": length, "valid": not problems,
            "header": {"magic": list(magic), "entry_count": count,
                       "platform_info_paddr": plat,
                       "package_info_paddr": pkg, "boot_flags": flags,
                       "sticky_word": sticky, "reserved": list(reserved)},
            "records": [{"address": a, "size": s} for a, s in entries],
            "problems": [{"kind": k, "message": m} for k, m in problems]}


def unread(name, kind, message, **extra):
    """The --json form of a file that could not be read."""
    return dict(name=name, **extra, length=None, valid=False, header=None,
                records=[], problems=[{"kind": kind, "message": message}])


def err(name, *messages):
    return "".join(f"zdkdump: {name}: {m}\n" for m in messages)


def patched(data, offset, new):
    return data[:offset] + bytes(new) + data[offset + len(new):]


E1 = [(0x100, 0x25)]
E4 = [(0x1000, 0), (0x2000, 1), (0xFFFFFFFF, 0x7FFFFFFF), (0x4000, 0xFFFFFFFF)]
E5 = [(0x10 * i, 3000000000 + i) for i in range(5)]
E256 = [(0xA0000000 + i, i % 7) for i in range(256)]
EXAMPLE = image(E1, 0x300, 0x400, STICKY_VALID, HALT_BIT)
GOOD = image(E4[:2], 1, 2, 3, 4)
MAGIC_X = "wrong magic: found 7A 5B 9B FD, expected FD 9B 5B 7A"

CASES = [
    # Round trips: zdkgen writes, zdkdump reads every value back.
    case(0, ["a.zdk"], given=made("a.zdk"), out=listing("a.zdk")),
    case(0, ["a.zdk"], given=made("a.zdk", E1, 0x300, 0x400, 1, {"WEK_DEBUG_STARTUP": "1"}),
         out=listing("a.zdk", E1, 0x300, 0x400, STICKY_VALID | 1, HALT_BIT)),
    case(0, ["a.zdk"], given=made("a.zdk", E4, 0xFFFFFFFF, 0x80000000, 0xBFFFFFFF, {"_PYMSYSCFG1": "7fffffff"}),
         out=listing("a.zdk", E4, 0xFFFFFFFF, 0x80000000, 0xFFFFFFFF, 0x7FFFFFFF)),
    case(0, ["a.zdk"], given=made("a.zdk", E5, 0x12345678, 0x9ABCDEF0), out=listing("a.zdk", E5, 0x12345678, 0x9ABCDEF0)),
    case(0, ["a.zdk"], given=made("a.zdk", E256, 8, 9, 10), out=listing("a.zdk", E256, 8, 9, 10)),
    case(0, ["--json", "a.zdk"], given=made("a.zdk", E5, 1, 2, STICKY_VALID, {"_PYMSYSCFG1": "80000005"}),
         out=Json({"files": [record("a.zdk", E5, 1, 2, STICKY_VALID, 0x80000005)]})),
    case(0, ["--json", "a.zdk"], given=made("a.zdk", E256, 8, 9, 10), out=Json({"files": [record("a.zdk", E256, 8, 9, 10)]})),
    # The image layout's 64-byte example, hand-made.
    case(0, ["x"], given={"x": EXAMPLE}, out=listing("x", E1, 0x300, 0x400, STICKY_VALID, HALT_BIT)),
    case(0, ["--json", "x"], given={"x": EXAMPLE},
         out=Json({"files": [record("x", E1, 0x300, 0x400, STICKY_VALID, HALT_BIT)]})),
    # Each problem from a small hand-made file.
    case(1, ["x"], err=err("x", "no such file")),
    case(1, ["d/x"], given={"d": b""}, err=err("d/x", "no such file")),
    case(1, ["d"], given={"d": DIR}, err=err("d", "not a regular file")),
    case(1, ["p"], given={"p": FIFO}, err=err("p", "not a regular file"), hosts=POSIX, why="no FIFOs on Windows"),
    case(1, ["x"], given={"x": b""}, err=err("x", "shorter than a header: 0 bytes, at least 32 needed")),
    case(1, ["x"], given={"x": image()[:31]}, err=err("x", "shorter than a header: 31 bytes, at least 32 needed")),
    case(1, ["x"], given={"x": patched(image(), 0, b"\x7a\x5b\x9b\xfd")}, err=err("x", MAGIC_X),
         out=listing("x", magic=b"\x7a\x5b\x9b\xfd")),
    case(1, ["x"], given={"x": patched(image(), 4, struct.pack(">I", 257))},
         err=err("x", "entry count 257 is above 256"), out=listing("x", count=257, length=32)),
    case(1, ["x"], given={"x": patched(image(E4), 4, struct.pack(">I", 5))},
         err=err("x", "length is 64 bytes, but 5 entries make 96"), out=listing("x", E4, count=5, length=64)),
    case(1, ["x"], given={"x": image(E1) + b"\0"}, err=err("x", "length is 65 bytes, but 1 entries make 64"),
         out=listing("x", E1, length=65)),
    case(1, ["x"], given={"x": patched(image(), 0x1B, b"\1\0\2")},
         err=err("x", "reserved header bytes are not zero: 2 non-zero from offset 0x1b"),
         out=listing("x", reserved=b"\0\0\0\1\0\2\0\0")),
    case(1, ["x"], given={"x": patched(image(E1), 0x30, b"\xff")},
         err=err("x", "trailing fill bytes are not zero: 1 non-zero from offset 0x30"), out=listing("x", E1)),
    case(1, ["x"], given={"x": 5 << 30},
         err=err("x", "wrong magic: found 00 00 00 00, expected FD 9B 5B 7A",
                 "length is 5368709120 bytes, but 0 entries make 32"),
         out=listing("x", magic=bytes(4), length=5 << 30)),
    case(1, ["x"], given={"x": bytes(28) + b"junk" + bytes(36)},
         err=err("x", "wrong magic: found 00 00 00 00, expected FD 9B 5B 7A",
                 "reserved header bytes are not zero: 4 non-zero from offset 0x1c",
                 "length is 68 bytes, but 0 entries make 32"),
         out=listing("x", magic=bytes(4), length=68, reserved=b"\0\0\0\0junk")),
    # Every file is checked; the status tells whether all were images.
    case(1, ["g", "x", "y", "g"], given={"g": GOOD, "y": b"short"},
         out=listing("g", E4[:2], 1, 2, 3, 4) + "\n" + listing("g", E4[:2], 1, 2, 3, 4),
         err=err("x", "no such file") + err("y", "shorter than a header: 5 bytes, at least 32 needed")),
    case(1, ["--json", "x", "y", "g"], given={"g": GOOD, "y": patched(image(), 0, b"\x7a\x5b\x9b\xfd") + b"\1"},
         err=err("x", "no such file") + err("y", MAGIC_X, "length is 33 bytes, but 0 entries make 32"),
         out=Json({"files": [unread("x", "no_such_file", "no such file"),
                             record("y", length=33, magic=b"\x7a\x5b\x9b\xfd",
                                    problems=[("bad_magic", MAGIC_X),
                                              ("wrong_length", "length is 33 bytes, but 0 entries make 32")]),
                             record("g", E4[:2], 1, 2, 3, 4)]})),
    case(1, ["-q", "g", "x"], given={"g": GOOD}),
    case(1, ["g", "--quiet", "y"], given={"g": GOOD, "y": b"short"}),
    case(1, ["--json", "-q", "x"]),
    case(0, ["-q", "g", "g"], given={"g": GOOD}),
    # Names are text in the listing and escaped in JSON.
    case(1, ["--json", 'a"b\\c\n\x01\x7f'], err=err('a"b\\c\n\x01\x7f', "no such file"),
         out=Json({"files": [unread('a"b\\c\n\x01\x7f', "no_such_file", "no such file")]}),
         hosts=POSIX, why="Windows names hold no quotes, backslashes or controls"),
    case(1, ["--json", "caf\xe9\udcff"], err=err("caf\xc3\xa9\xff", "no such file"),
         out=Json({"files": [unread("caf\xe9\ufffd", "no_such_file", "no such file",
                                    name_bytes=[99, 97, 102, 0xC3, 0xA9, 0xFF])]}),
         hosts=POSIX, why="Windows names are not bytes"),
    case(0, ["--json", "caf\xe9"], given={"caf\xe9": GOOD},
         out=Json({"files": [record("caf\xe9", E4[:2], 1, 2, 3, 4)]}), hosts=POSIX,
         why="Windows names are not bytes"),
    # Options.
    case(0, ["-h"], out=USAGE),
    case(0, ["--help", "x"], out=USAGE),
    case(0, ["-qh"], out=USAGE),
    case(0, ["--version"], out="zdkdump 1.0.0\n"),
    case(2, [], err="zdkdump: no file given\n" + USAGE),
    case(2, ["-q"], err="zdkdump: no file given\n" + USAGE),
    case(2, ["g", "-x"], given={"g": GOOD}, err="zdkdump: unknown option -x\n" + USAGE),
    case(2, ["-qx", "g"], given={"g": GOOD}, err="zdkdump: unknown option -x\n" + USAGE),
    case(2, ["--jsn", "g"], given={"g": GOOD}, err="zdkdump: unknown option --jsn\n" + USAGE),
    case(0, ["--", "-q"], given={"-q": GOOD}, out=listing("-q", E4[:2], 1, 2, 3, 4)),
    case(0, ["-"], given={"-": GOOD}, out=listing("-", E4[:2], 1, 2, 3, 4)),
]

if __name__ == "__main__":
    sys.exit(main(CASES, program="zdkdump", helpers=("zdkgen",)))
