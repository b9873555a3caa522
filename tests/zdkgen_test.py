#!/usr/bin/env python3
"""End-to-end cases for zdkgen: one line each, status, arguments, output.

  zdkgen_test.py --tool build/dev/zdkgen [--launcher 'qemu-ppc'] [-k TEXT]
"""

import sys

from harness import BANNER as B, DIR, FIFO, NOBODY, Mode, case, image, main

USAGE = ("usage: {prog} [args]\n"
         "  -b bs0_file                # \n"
         "  -p <process1,process2,...> # process file list\n"
         "  -a <address1,address2,...> # address list\n"
         "  -o output                  # output file\n"
         "  -i platform_info_paddr     # physical address of platform information\n"
         "  -j package_info_paddr      # physical address of package information\n"
         "  -f zdk flags               # flags in boot block header\n"
         "  -q                         # quiet\n")
U = B + USAGE  # banner, then the usage text after a failed validation
INV = "invalid argument\n"
OPEN_OUT = "{prog}: unable to open img output file\n"
WRITE_OUT = "{prog}: failed to write img output file\n"
HALT = "Halting during WEK startup... Please use JTAG to continue\n"
STICKY_VALID = 0x40000000
HALT_BIT = 0x80000000
POSIX = ("native", "emulated")  # hosts with FIFOs, /dev/full and rlimits


def gen(n, name="ppc.zdk"):
    return f"Generated {name} ({n} bytes)\n"


def addr(n, value):
    return f"address {n}:     0x{value:08x}\n"


def proc(n, name, size=None):
    """A process line; without a size it is the unterminated start."""
    return f"process {n}:     {name} " + ("" if size is None
                                         else f"(0x{size:08x})\n")


def init(value):
    return f"Initializing sticky register using 0x{value:08x}\n"


def bad_hex(value):
    return ("zdkgen: _PYMSYSCFG1 could not be converted as hexadecimal "
            f"number: '{value}' \n")


ERANGE = "zdkgen: _PYMSYSCFG1 could not be converted as hexadecimal number: errno 34\n"

# A process name too long for the progress line's own buffer.
LONG = "d" * 120 + "/" + "f" * 130

# 256 entries, each file named twice over a small set, and one more.
N256 = [f"f{i % 4}" for i in range(256)]
FILES4 = {f"f{i}": 16 * i for i in range(4)}
IMG256 = image([(i, 16 * (i % 4)) for i in range(256)])
OUT256 = ("".join(proc(i + 1, n, 16 * (i % 4)) for i, n in enumerate(N256)) +
          "".join(addr(i + 1, i) for i in range(256)))

CASES = [
    # scanner and run sequence
    case(0, [], out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, ["-h"], out=USAGE),
    case(0, ["-h", "-x", "-o", "never"], out=USAGE),
    case(0, ["foo", "-h"], out=USAGE, err="unknown option ?\n"),
    case(1, ["-b", "something"], out=U, err="unknown option b\n" + INV),
    case(1, ["foo"], out=U, err="unknown option ?\n" + INV),
    case(1, ["foo", "bar"], out=U, err="unknown option ?\n" * 2 + INV),
    case(1, ["-ab", "-"], out=U, err="unknown option ?\n" * 2 + INV),
    case(1, ["-x", "-q"], out=USAGE, err="unknown option x\n" + INV),
    case(1, ["--", "x", "-A", "-?", "y"], out=U,
         err="unknown option -\nunknown option A\nunknown option ?\n" + INV),
    case(0, ["-q", "foo"], files={"ppc.zdk": image()}),
    case(0, ["-i", "1", "-q", "-j", "2"], out="platform info address: 0x00000001\n",
         files={"ppc.zdk": image(plat=1, pkg=2)}),
    case(0, ["-i", "0x10", "-j"], out="platform info address: 0x00000010\n"
         "package info address: 0x00000010\n" + B + gen(32),
         files={"ppc.zdk": image(plat=0x10, pkg=0x10)}),
    case(1, ["-j", "7", "-i", "-5"], out="package info address: 0x00000007\n"
         "platform info address: 0x00000007\n" + U, err="unknown option 5\n" + INV),
    case(0, ["-i", "010", "-j", "12abc"], out="platform info address: 0x00000008\n"
         "package info address: 0x0000000c\n" + B + gen(32),
         files={"ppc.zdk": image(plat=8, pkg=12)}),
    case(0, ["-i", "abc", "-j", " -1"], out="platform info address: 0x00000000\n"
         "package info address: 0xffffffff\n" + B + gen(32),
         files={"ppc.zdk": image(pkg=0xFFFFFFFF)}),
    case(0, ["-i", "4294967296"], out="platform info address: 0xffffffff\n" + B + gen(32),
         files={"ppc.zdk": image(plat=0xFFFFFFFF)}),
    case(0, ["-f", "0x3,0x5"], out="flags 0x00000003\n" + B + gen(32),
         files={"ppc.zdk": image(flags=3)}),
    case(0, ["-f", "4", "-f", "1"], out="flags 0x00000004\nflags 0x00000001\n" + B + gen(32),
         files={"ppc.zdk": image(flags=1)}),
    case(0, ["-f", ",,,"], out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, ["-f", ",,5,6", "-i"], out="flags 0x00000005\n"
         "platform info address: 0x00000000\n" + B + gen(32),
         files={"ppc.zdk": image(flags=5)}),
    case(0, ["-o", "n,x", "-f"], out="flags 0x00000000\n" + B + gen(32, "n"),
         files={"n": image()}),
    case(0, ["-o", "out.zdk", "-q"], files={"out.zdk": image()}),
    case(0, [], given={"ppc.zdk": b"x" * 100}, out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, ["-o", "//c/out/image"], given={"c:/out": DIR}, out=B + gen(32, "c:/out/image"),
         files={"c:/out/image": image()}),
    case(1, ["-o"], out=U, err=INV),
    case(1, ["-o", ""], out=B, err=OPEN_OUT),
    case(1, ["-o", "nodir/x.zdk"], out=B, err=OPEN_OUT),
    case(1, ["-o", "d"], given={"d": DIR}, out=B, err=OPEN_OUT),
    case(1, ["-o", "/dev/full"], out=B, err=WRITE_OUT, keeps=["/dev/full"], hosts=POSIX,
         why="no /dev/full on Windows"),
    case(1, ["-o", "short.zdk"], fsize=16, out=B, err=WRITE_OUT, hosts=POSIX,
         why="no RLIMIT_FSIZE on Windows"),
    case(1, ["-o", "ro.zdk"], given={"ro.zdk": Mode(b"kept", 0o444)}, user=NOBODY, out=B,
         err=OPEN_OUT),
    case(1, ["-o", "ro/x.zdk"], given={"ro": Mode(DIR, 0o555)}, user=NOBODY, out=B,
         err=OPEN_OUT),
    case(1, ["-a"], out=U, err="missing argument for -a\n" + INV),
    case(1, ["-p"], out=U, err="missing argument for -p\n" + INV),
    case(1, ["-f"], out=U, err="missing argument for -f\n" + INV),
    case(1, ["-i"], out=U, err="missing argument for -i\n" + INV),
    case(1, ["-j"], out=U, err="missing argument for -j\n" + INV),
    case(1, ["-i", "-j", "-q"], out=USAGE,
         err="missing argument for -i\nmissing argument for -j\n" + INV),

    # entry lists
    case(0, ["-p", "a,,b", "-a", "1,2"], given={"a": 0x25, "b": 0},
         out=proc(1, "a", 0x25) + proc(2, "b", 0) + addr(1, 1) + addr(2, 2) + B + gen(64),
         files={"ppc.zdk": image([(1, 0x25), (2, 0)])}),
    case(0, ["-p", ",", "-a", ","], out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, ["-a", "1,2", "-p", "x", "-a", "3", "-p", "y,x"], given={"x": 5, "y": 7},
         out=addr(1, 1) + addr(2, 2) + proc(1, "x", 5) + addr(3, 3) + proc(2, "y", 7)
         + proc(3, "x", 5) + B + gen(64), files={"ppc.zdk": image([(1, 5), (2, 7), (3, 5)])}),
    case(1, ["-p", "x,gone,y", "-a", "1"], given={"x": 5, "y": 7},
         out=proc(1, "x", 5) + proc(2, "gone") + addr(1, 1) + U,
         err="unable to open gone\n" + INV),
    case(1, ["-p", "gone,y", "-p", "z", "-a", "1"], given={"z": 9},
         out=proc(1, "gone") + proc(1, "z", 9) + addr(1, 1) + U, err="unable to open gone\n" + INV),
    case(0, ["-p", "gone", "-h"], out=proc(1, "gone") + USAGE, err="unable to open gone\n"),
    case(1, ["-a", "1,2", "-p", "x"], given={"x": 5}, out=addr(1, 1) + addr(2, 2)
         + proc(1, "x", 5) + U, err=INV),
    case(0, ["-p", "x," + LONG, "-a", "1,2"], given={"x": 5, LONG: 7},
         out=proc(1, "x", 5) + proc(2, LONG, 7) + addr(1, 1) + addr(2, 2) + B + gen(64),
         files={"ppc.zdk": image([(1, 5), (2, 7)])}),
    # names either side of the longest that a progress line holds, and a long one that fails
    case(1, ["-p", f"{'e' * 199},{'g' * 200},{LONG}x", "-a", "1,2,3"],
         given={"e" * 199: 1, "g" * 200: 2},
         out=proc(1, "e" * 199, 1) + proc(2, "g" * 200, 2) + proc(3, LONG + "x") + addr(1, 1)
         + addr(2, 2) + addr(3, 3) + U, err=f"unable to open {LONG}x\n" + INV),
    case(0, ["-p", "//c/img/a.elf", "-a", "0x100"], given={"c:/img/a.elf": 0x25},
         out=proc(1, "c:/img/a.elf", 0x25) + addr(1, 0x100) + B + gen(64),
         files={"ppc.zdk": image([(0x100, 0x25)])}),
    case(0, ["-a", "1", "-p", "//c/img/a.elf", "-o"], given={"c:/img/a.elf": 0x25},
         out=addr(1, 1) + proc(1, "c:/img/a.elf", 0x25) + B + gen(64, "c:/img/a.elf"),
         files={"c:/img/a.elf": image([(1, 0x25)])}),
    case(1, ["-p", "//"], out=proc(1, "") + U, err="unable to open \n" + INV),
    case(0, ["-p", "a, a", "-a", "zz, -5"], given={"a": 1, " a": 2},
         out=proc(1, "a", 1) + proc(2, " a", 2) + addr(1, 0) + addr(2, 0xFFFFFFFB) + B + gen(64),
         files={"ppc.zdk": image([(0, 1), (0xFFFFFFFB, 2)])}),
    case(0, ["-a", "0x10,010,10", "-p", "a,a,a"], given={"a": 0},
         out=addr(1, 16) + addr(2, 8) + addr(3, 10) + proc(1, "a", 0) + proc(2, "a", 0)
         + proc(3, "a", 0) + B + gen(64), files={"ppc.zdk": image([(16, 0), (8, 0), (10, 0)])}),
    case(1, ["-q", "-p", "a,gone", "-a", "1"], given={"a": 1}, out=USAGE,
         err="unable to open gone\n" + INV),
    case(0, ["-q", "-a", "1,2,3,4,5", "-p", "a,a,a,a,a"], given={"a": 3},
         files={"ppc.zdk": image([(i, 3) for i in range(1, 6)])}),
    case(1, ["-p", "d", "-a", "1"], given={"d": DIR}, out=proc(1, "d") + addr(1, 1) + U,
         err="unable to open d\n" + INV),
    case(1, ["-p", "secret", "-a", "1"], given={"secret": Mode(b"abc", 0)}, user=NOBODY,
         out=proc(1, "secret") + addr(1, 1) + U, err="unable to open secret\n" + INV),
    case(1, ["-p", "fifo", "-a", "1"], given={"fifo": FIFO}, out=proc(1, "fifo") + addr(1, 1) + U,
         err="unable to open fifo\n" + INV, hosts=POSIX, why="no FIFOs on Windows"),
    case(1, ["-p", "/dev/null", "-a", "1"], out=proc(1, "/dev/null") + addr(1, 1) + U,
         err="unable to open /dev/null\n" + INV, hosts=POSIX, why="no /dev/null on Windows"),
    # line feeds and carriage returns in every field: the image is binary
    case(0, ["-p", "a,b", "-a", "0x0A0A0A0A,0x0D0A0D0A", "-f", "0x0A0D0A0D"],
         given={"a": 0x0D0A, "b": 0x0A}, out=proc(1, "a", 0x0D0A) + proc(2, "b", 0x0A)
         + addr(1, 0x0A0A0A0A) + addr(2, 0x0D0A0D0A) + "flags 0x0a0d0a0d\n" + B + gen(64),
         files={"ppc.zdk": image([(0x0A0A0A0A, 0x0D0A), (0x0D0A0D0A, 0x0A)], flags=0x0A0D0A0D)}),
    case(0, ["-p", "big", "-a", "1"], given={"big": 0xFFFFFFFF},
         out=proc(1, "big", 0xFFFFFFFF) + addr(1, 1) + B + gen(64),
         files={"ppc.zdk": image([(1, 0xFFFFFFFF)])}),
    case(1, ["-p", "huge,a", "-a", "1"], given={"huge": 5 << 30, "a": 1},
         out=proc(1, "huge") + addr(1, 1) + U, err="file too large: huge\n" + INV),
    case(1, ["-p", "over", "-a", "1"], given={"over": 1 << 32},
         out=proc(1, "over") + addr(1, 1) + U, err="file too large: over\n" + INV),
    case(0, ["-p", ",".join(N256), "-a", ",".join(map(str, range(256)))], given=FILES4,
         out=OUT256 + B + gen(2080), files={"ppc.zdk": IMG256}),
    case(1, ["-p", ",".join(N256), "-a", ",".join(map(str, range(256))), "-a", "7,8",
             "-p", "f1"], given=FILES4, out=OUT256 + U,
         err="too many addresses (at most 256)\ntoo many process files (at most 256)\n" + INV),

    # startup debug settings
    case(0, [], env={"_PYMSYSCFG1": "1f"}, out=B + init(0x1F) + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0x1F)}),
    case(0, [], env={"_PYMSYSCFG1": " \t0X1F"}, out=B + init(0x1F) + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0x1F)}),
    case(0, ["-q"], env={"_PYMSYSCFG1": "+1f"}, out=init(0x1F),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0x1F)}),
    case(0, [], env={"_PYMSYSCFG1": "000000001F"}, out=B + init(0x1F) + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0x1F)}),
    case(0, [], env={"_PYMSYSCFG1": "0"}, out=B + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID)}),
    case(0, [], env={"_PYMSYSCFG1": ""}, out=B + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID)}, hosts=POSIX,
         why="Windows drops an environment variable with an empty value"),
    case(0, [], env={"_PYMSYSCFG1": "1G"}, out=B + bad_hex("1G") + gen(32),
         files={"ppc.zdk": image()}),
    case(0, ["-q"], env={"_PYMSYSCFG1": "1f "}, out=bad_hex("1f "), files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "0x"}, out=B + bad_hex("0x") + gen(32),
         files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "G"}, out=B + bad_hex("G") + gen(32),
         files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": " "}, out=B + bad_hex(" ") + gen(32),
         files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "123456789"}, out=B + ERANGE + gen(32),
         files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "123456789G"}, out=B + bad_hex("123456789G") + ERANGE
         + gen(32), files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "FFFFFFFF"}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0xFFFFFFFF)}),
    case(0, [], env={"_PYMSYSCFG1": "0x80000000"}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT)}),
    case(0, [], env={"_PYMSYSCFG1": "-1"}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=0xFFFFFFFF)}),
    case(0, [], env={"WEK_DEBUG_STARTUP": "1"}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT)}),
    case(0, ["-q"], env={"WEK_DEBUG_STARTUP": "no"}, out=HALT,
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT)}),
    case(0, [], env={"WEK_DEBUG_STARTUP": " "}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT)}),
    case(0, [], env={"WEK_DEBUG_STARTUP": "0"}, out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, [], env={"WEK_DEBUG_STARTUP": "0abc"}, out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, [], env={"WEK_DEBUG_STARTUP": ""}, out=B + gen(32), files={"ppc.zdk": image()}),
    case(0, [], env={"_PYMSYSCFG1": "5", "WEK_DEBUG_STARTUP": "1"}, out=B + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT | 5)}),
    case(0, [], env={"_PYMSYSCFG1": "1G", "WEK_DEBUG_STARTUP": "1"},
         out=B + bad_hex("1G") + HALT + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID, sticky=HALT_BIT)}),
    case(0, ["-f", "0x40000001"], env={"_PYMSYSCFG1": "0"}, out="flags 0x40000001\n" + B + gen(32),
         files={"ppc.zdk": image(flags=0x40000001)}),
    case(0, ["-f", "0x40000000"], out="flags 0x40000000\n" + B + gen(32),
         files={"ppc.zdk": image(flags=STICKY_VALID)}),
    case(0, ["-q", "-f", "0x40000000"], env={"_PYMSYSCFG1": "G"}, out=bad_hex("G"),
         files={"ppc.zdk": image(flags=STICKY_VALID)}),
    case(0, ["-h"], env={"_PYMSYSCFG1": "1G", "WEK_DEBUG_STARTUP": "1"}, out=USAGE),
    case(1, ["foo"], env={"_PYMSYSCFG1": "1G", "WEK_DEBUG_STARTUP": "1"}, out=U,
         err="unknown option ?\n" + INV),
    case(0, ["-o", "//c/out/x"], given={"c:/out": DIR}, env={"_pymsyscfg1": "1f"},
         out=B + init(0x1F) + gen(32, "c:/out/x"),
         files={"c:/out/x": image(flags=STICKY_VALID, sticky=0x1F)}, hosts=("windows",),
         why="environment names ignore case on Windows only"),
    case(0, [], env={"_pymsyscfg1": "1f"}, out=B + gen(32), files={"ppc.zdk": image()},
         hosts=POSIX, why="environment names ignore case on Windows"),
    case(0, [], env={"_pymsyscfg1": "1G"}, out=B + bad_hex("1G") + gen(32),
         files={"ppc.zdk": image()}, hosts=("windows",),
         why="environment names ignore case on Windows only"),
]

if __name__ == "__main__":
    sys.exit(main(CASES))
