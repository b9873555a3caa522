"""Runs a built tool as a real process and checks what it did.

Each case runs in a fresh temporary directory with a controlled
environment; the harness compares the exit status, the exact standard
output and standard error, and every file in the directory afterwards.
What differs between hosts (the launcher, the program name the tool sees,
line ends, where c:/ lives) is decided in Host, and nowhere else.
"""

import argparse
import os
import re
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile

# Fixture kinds besides a plain size or bytes.
DIR = "dir"
FIFO = "fifo"

# Status of a launcher that cannot run the tool on this machine at all.
SKIP_STATUS = 77

# Marker for the two banner lines, whose build date and time vary.
BANNER = "\x01BANNER\x01"
BANNER_RE = (r"KUR9 system file generator\.[^\n]*\n"
             r"Built : [A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d\n")

MAGIC = bytes([0xFD, 0x9B, 0x5B, 0x7A])


def image(entries=(), plat=0, pkg=0, flags=0, sticky=0):
    """The expected boot image, built independently of the tool's encoder."""
    body = MAGIC + struct.pack(">5I", len(entries), plat, pkg, flags, sticky)
    body += bytes(8)
    for address, size in entries:
        body += struct.pack(">2I", address, size)
    length = (8 * len(entries) + 63) & ~31
    return body + bytes(length - len(body))


class Case:
    """One run: status, arguments, exact output and the files it leaves."""

    def __init__(self, status, args, out="", err="", files=None, env=None,
                 given=None, fsize=None, hosts=None, why=None, line=0):
        self.status = status
        self.args = list(args)
        self.out = out
        self.err = err
        self.files = files or {}  # name -> expected bytes after the run
        self.env = env or {}
        self.given = given or {}  # name -> size, bytes, DIR or FIFO
        self.fsize = fsize  # RLIMIT_FSIZE for the run, in bytes
        self.hosts = hosts  # None: every host; else the hosts it holds on
        self.why = why  # why the case does not hold on the other hosts
        self.line = line


def case(*args, **kwargs):
    """Builds a Case and records the table line it came from."""
    kwargs["line"] = sys._getframe(1).f_lineno
    return Case(*args, **kwargs)


class Host:
    """Where and how the tool under test runs."""

    def __init__(self, tool, launcher):
        self.tool = os.path.abspath(tool)
        self.launcher = [w for w in launcher.split(";") if w]
        self.windows = self.tool.endswith(".exe")
        self.name = "windows" if self.windows else (
            "emulated" if self.launcher else "native")
        self.prefix = None
        self.system = set()  # what c:/ holds of its own, outside any case
        if self.windows:
            self.prefix = os.environ.get("WINEPREFIX") or os.path.join(
                os.path.dirname(self.tool), "wineprefix")

    def prepare(self):
        """Makes the host ready; returns why it cannot run the tool, or None.

        Under Wine this makes the prefix and starts a server that stays up
        between cases, so that each case does not pay for Wine's startup.
        """
        if not self.windows:
            return None
        if not self.launcher:
            sys.exit("a Windows tool needs its launcher, e.g. "
                     "--launcher='cmake/wine-run;win64'")
        proc = subprocess.run(self.launcher + ["--prepare"],
                              env=self.environment({}),
                              stdin=subprocess.DEVNULL, capture_output=True)
        if proc.returncode == SKIP_STATUS:
            return proc.stderr.decode(errors="replace").strip()
        if proc.returncode != 0:
            sys.exit(f"cannot prepare {self.name}: "
                     f"{proc.stderr.decode(errors='replace')}")
        self.system = set(os.listdir(self.drive_dir(None)))
        return None

    def finish(self):
        """Stops what prepare started."""
        if self.windows:
            subprocess.run(self.launcher + ["--finish"],
                           env=self.environment({}),
                           stdin=subprocess.DEVNULL)

    def program(self):
        """The first word of the command line as the tool will see it.

        Wine hands a program started from a Unix path its Windows path.
        """
        if self.windows:
            return "Z:" + self.tool.replace("/", "\\")
        return "zdkgen"

    def command(self, args):
        """The argument vector to start, and the executable behind it."""
        if self.windows:
            return self.launcher + [self.tool] + args, None
        if self.launcher and os.path.basename(
                self.launcher[0]).startswith("qemu"):
            return self.launcher + ["-0", self.program(), self.tool] + args, None
        return [self.program()] + args, self.tool

    def environment(self, extra):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C"}
        if self.windows:
            env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                       HOME=os.environ.get("HOME", "/root"))
        env.update(extra)
        return env

    def drive_dir(self, tmp):
        """Where a c:/ name made by the tool lands."""
        if self.windows:
            return os.path.join(self.prefix, "drive_c")
        return os.path.join(tmp, "c:")

    def text(self, data):
        """The output as text with Unix line ends, or None when a Windows
        text stream has a bare line feed."""
        text = data.decode("latin-1")
        if not self.windows:
            return text
        if text.count("\n") != text.count("\r\n"):
            return None
        return text.replace("\r\n", "\n")

    def drive_tree(self):
        """What the cases left in c:/ besides the system's own folders."""
        return tree(self.drive_dir(None), skip=self.system)

    def clean_drive(self):
        root = self.drive_dir(None)
        for name in os.listdir(root):
            if name not in self.system:
                path = os.path.join(root, name)
                if os.path.isdir(path) and not os.path.islink(path):
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    os.remove(path)


def make_given(path, what):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    if what == DIR:
        os.makedirs(path, exist_ok=True)
    elif what == FIFO:
        os.mkfifo(path)
    elif isinstance(what, int):
        with open(path, "wb") as f:
            f.truncate(what)  # sparse: no data is written
    else:
        with open(path, "wb") as f:
            f.write(what)


def local_path(host, tmp, name):
    if name.startswith("c:/"):
        return os.path.join(host.drive_dir(tmp), name[3:])
    return os.path.join(tmp, name)


def tree(root, skip=()):
    """Every path below root, with the bytes of each regular file; names in
    skip are left out at the top."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(root):
        if dirpath == root:
            dirnames[:] = [d for d in dirnames if d not in skip]
            filenames = [f for f in filenames if f not in skip]
        for d in dirnames:
            found[os.path.join(dirpath, d)] = DIR
        for f in filenames:
            p = os.path.join(dirpath, f)
            mode = os.lstat(p).st_mode
            if stat.S_ISREG(mode):
                with open(p, "rb") as fh:
                    found[p] = fh.read(4096)
            else:
                found[p] = FIFO
    return found


def matches(expected, actual):
    pattern = BANNER_RE.join(re.escape(p) for p in expected.split(BANNER))
    return re.fullmatch(pattern, actual, re.S) is not None


def limits(fsize):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
    return apply if fsize is not None else None


def run_case(host, c):
    """Runs one case; returns a list of what went wrong."""
    tmp = tempfile.mkdtemp(prefix="zdk-e2e-")
    try:
        for name, what in c.given.items():
            make_given(local_path(host, tmp, name), what)
        before = tree(tmp)
        if host.windows:
            before.update(host.drive_tree())
        argv, executable = host.command(c.args)
        proc = subprocess.run(argv, executable=executable, cwd=tmp,
                              env=host.environment(c.env),
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=120, preexec_fn=limits(c.fsize))
        after = tree(tmp)
        if host.windows:
            after.update(host.drive_tree())
        return compare(host, tmp, c, proc, before, after)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
        if host.windows:
            host.clean_drive()


def compare(host, tmp, c, proc, before, after):
    problems = []
    if proc.returncode != c.status:
        problems.append(f"status {proc.returncode}, expected {c.status}")
    program = host.program()
    for stream, expected, data in (("stdout", c.out, proc.stdout),
                                   ("stderr", c.err, proc.stderr)):
        actual = host.text(data)
        if actual is None:
            problems.append(f"{stream}: a line ends without CR: {data!r}")
        elif not matches(expected.replace("{prog}", program), actual):
            problems.append(f"{stream}:\n  got      {actual!r}\n"
                            f"  expected {expected!r}")
    wanted = dict(before)
    for name, content in c.files.items():
        wanted[local_path(host, tmp, name)] = content
    if after != wanted:
        for path in sorted(set(after) | set(wanted)):
            got, want = after.get(path), wanted.get(path)
            if got != want:
                problems.append(f"file {path}: got {got!r:.120}, "
                                f"expected {want!r:.120}")
    return problems


def main(cases):
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--launcher", default="")
    parser.add_argument("-k", default="", help="run only cases whose "
                        "arguments contain this text")
    opts = parser.parse_args()
    host = Host(opts.tool, opts.launcher)
    cannot = host.prepare()
    if cannot:
        # Every case is reported skipped, with the reason, and the status
        # says so: this is no pass.
        print(f"SKIP every case: {cannot}")
        print(f"e2e ({host.name}): 0 passed, 0 failed, {len(cases)} skipped")
        return SKIP_STATUS
    try:
        passed, failed, skipped = run_cases(host, cases, opts.k)
    finally:
        host.finish()
    print(f"e2e ({host.name}): {passed} passed, {failed} failed, "
          f"{skipped} skipped")
    return 1 if failed else 0


def run_cases(host, cases, only):
    """Runs the cases that hold on host; returns the three counts."""
    passed = failed = skipped = 0
    for c in cases:
        label = f"line {c.line}: {' '.join(repr(a) for a in c.args)}"
        if only and only not in label:
            continue
        if c.hosts is not None and host.name not in c.hosts:
            print(f"SKIP {label}: {c.why}")
            skipped += 1
            continue
        problems = run_case(host, c)
        if problems:
            failed += 1
            print(f"FAIL {label}")
            for p in problems:
                print("  " + p)
        else:
            passed += 1
    return passed, failed, skipped
