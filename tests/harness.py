"""Runs a built tool as a real process and checks what it did.

Each case runs in a fresh temporary directory with a controlled
environment; the harness compares the exit status, the exact standard
output and standard error, and every file in the directory afterwards.
What differs between hosts (the launcher, the program name the tool sees,
line ends, where c:/ lives) is decided in Host, and nowhere else.
"""

import argparse
import json
import os
import pwd
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

# The user= of a case that must run without root's right to ignore file
# modes: this account when the harness runs as root, else the harness's own.
NOBODY = "nobody"


class Mode:
    """A fixture (size, bytes or DIR) given these permission bits."""

    def __init__(self, what, mode):
        self.what = what
        self.mode = mode


class Skip(Exception):
    """A case that cannot run on this host; the message says why."""

# Marker for the two banner lines, whose build date and time vary.
BANNER = "\x01BANNER\x01"
BANNER_RE = (r"KUR9 system file generator\.[^\n]*\n"
             r"Built : [A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d\n")

MAGIC = bytes([0xFD, 0x9B, 0x5B, 0x7A])

# Seconds a case may run before it counts as hanging.
TIMEOUT = 120


class Made:
    """A fixture file written by running another built tool (named by its
    command-line option, e.g. "zdkgen") in the case's directory."""

    def __init__(self, tool, args, env=None):
        self.tool = tool
        self.args = list(args)
        self.env = env or {}


class Json:
    """Expected standard output that is one JSON document, compared parsed."""

    def __init__(self, value):
        self.value = value


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
                 given=None, fsize=None, hosts=None, why=None, user=None,
                 keeps=(), line=0):
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
        self.user = user  # None: as the harness runs; NOBODY: unprivileged
        self.keeps = tuple(keeps)  # paths outside the folder left as they are
        self.line = line


def case(*args, **kwargs):
    """Builds a Case and records the table line it came from."""
    kwargs["line"] = sys._getframe(1).f_lineno
    return Case(*args, **kwargs)


class Host:
    """Where and how a tool under test runs."""

    def __init__(self, tool, launcher, name="zdkgen"):
        self.tool = os.path.abspath(tool)
        self.tool_name = name
        self.launcher = [w for w in launcher.split(";") if w]
        self.windows = self.tool.endswith(".exe")
        self.name = "windows" if self.windows else (
            "emulated" if self.launcher else "native")
        self.prefix = None
        if self.windows:
            self.prefix = os.environ.get("WINEPREFIX") or os.path.join(
                os.path.dirname(self.tool), "wineprefix")
        self.system = set()  # what c:/ holds of its own, outside any case
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
        return self.tool_name

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

    def user_ids(self, user):
        """The uid and gid to run a case of this user as, or None to run it
        as the harness runs; raises Skip when neither would do."""
        if user is None or os.geteuid() != 0:
            return None
        if self.windows:
            # The prefix belongs to root, so Wine cannot run as another user,
            # and as root a file's mode binds nothing.
            raise Skip(f"cannot run as {user}: the Wine prefix belongs to root")
        try:
            entry = pwd.getpwnam(user)
            return entry.pw_uid, entry.pw_gid
        except KeyError:
            return 65534, 65534

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
    if isinstance(what, Mode):
        make_given(path, what.what)
        os.chmod(path, what.mode)
    elif what == DIR:
        os.makedirs(path, exist_ok=True)
    elif what == FIFO:
        os.mkfifo(path)
    elif isinstance(what, int):
        with open(path, "wb") as f:
            f.truncate(what)  # sparse: no data is written
    else:
        with open(path, "wb") as f:
            f.write(what)


def make_with(host, tmp, path, made):
    """Runs another tool to write a fixture; returns what went wrong."""
    argv, executable = host.command(made.args)
    proc = subprocess.run(argv, executable=executable, cwd=tmp,
                          env=host.environment(made.env),
                          stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=120)
    if proc.returncode != 0 or not os.path.isfile(path):
        return [f"fixture {path}: {host.program()} {made.args!r} gave status "
                f"{proc.returncode}: {host.text(proc.stderr)!r}"]
    return []


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
            if stat.S_ISREG(mode) and os.access(p, os.R_OK):
                with open(p, "rb") as fh:
                    found[p] = fh.read(4096)
            elif stat.S_ISREG(mode):  # a Mode fixture, read by a non-root
                found[p] = ("unreadable", os.lstat(p).st_size)
            else:
                found[p] = FIFO
    return found


def matches(expected, actual):
    pattern = BANNER_RE.join(re.escape(p) for p in expected.split(BANNER))
    return re.fullmatch(pattern, actual, re.S) is not None


def before_exec(fsize, ids):
    """What the child does before it starts the tool: the file size limit,
    then the switch to another user."""
    if fsize is None and ids is None:
        return None

    def apply():
        if fsize is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
        if ids is not None:
            os.setgroups([])
            os.setgid(ids[1])
            os.setuid(ids[0])
    return apply


def kinds(paths):
    """What each path outside the folder is: its type, device and inode."""
    found = {}
    for p in paths:
        try:
            st = os.lstat(p)
            found[p] = (stat.S_IFMT(st.st_mode), st.st_rdev, st.st_ino)
        except FileNotFoundError:
            found[p] = None
    return found


def run_case(host, c, others=None):
    """Runs one case; returns a list of what went wrong, or raises Skip.
    others holds the hosts of the tools that make Made fixtures."""
    ids = host.user_ids(c.user)
    tmp = tempfile.mkdtemp(prefix="zdk-e2e-")
    try:
        for name, what in c.given.items():
            path = local_path(host, tmp, name)
            if isinstance(what, Made):
                problems = make_with(others[what.tool], tmp, path, what)
                if problems:
                    return problems
            else:
                make_given(path, what)
        if ids is not None:
            os.chown(tmp, *ids)  # the case's user works in its folder
        before = tree(tmp)
        if host.windows:
            before.update(host.drive_tree())
        outside = kinds(c.keeps)
        argv, executable = host.command(c.args)
        try:
            proc = subprocess.run(argv, executable=executable, cwd=tmp,
                                  env=host.environment(c.env),
                                  stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=TIMEOUT,
                                  preexec_fn=before_exec(c.fsize, ids))
        except subprocess.TimeoutExpired:
            return [f"still running after {TIMEOUT} s: hangs"]
        except subprocess.SubprocessError as e:
            if ids is None:
                raise
            raise Skip(f"cannot switch to uid {ids[0]}: {e}") from e
        after = tree(tmp)
        if host.windows:
            after.update(host.drive_tree())
        problems = compare(host, tmp, c, proc, before, after)
        for path, was in kinds(c.keeps).items():
            if was != outside[path]:
                problems.append(f"{path} changed: {outside[path]} to {was}")
        return problems
    finally:
        for dirpath, _, _ in os.walk(tmp):
            os.chmod(dirpath, 0o700)  # a Mode folder may bar its removal
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
        if isinstance(expected, Json):
            try:
                parsed = json.loads(actual)
            except ValueError as e:
                parsed = f"not JSON ({e})"
            if parsed != expected.value:
                problems.append(f"{stream}:\n  got      {parsed!r}\n"
                                f"  expected {expected.value!r}")
            continue
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


def main(cases, program="zdkgen", helpers=()):
    """Runs the table against --tool, whose name is program; each name in
    helpers is another built tool, given as --NAME, that makes fixtures."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--launcher", default="")
    for name in helpers:
        parser.add_argument("--" + name, required=True,
                            help=f"the built {name}, for fixtures")
    parser.add_argument("-k", default="", help="run only cases whose "
                        "arguments contain this text")
    opts = parser.parse_args()
    host = Host(opts.tool, opts.launcher, program)
    others = {name: Host(getattr(opts, name), opts.launcher, name)
              for name in helpers}
    cannot = host.prepare()
    if cannot:
        # Every case is reported skipped, with the reason, and the status
        # says so: this is no pass.
        print(f"SKIP every case: {cannot}")
        print(f"e2e ({host.name}): 0 passed, 0 failed, {len(cases)} skipped")
        return SKIP_STATUS
    try:
        passed, failed, skipped = run_cases(host, cases, opts.k, others)
    finally:
        host.finish()
    print(f"e2e ({host.name}): {passed} passed, {failed} failed, "
          f"{skipped} skipped")
    return 1 if failed else 0


def run_cases(host, cases, only, others):
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
        try:
            problems = run_case(host, c, others)
        except Skip as e:
            print(f"SKIP {label}: {e}")
            skipped += 1
            continue
        if problems:
            failed += 1
            print(f"FAIL {label}")
            for p in problems:
                print("  " + p)
        else:
            passed += 1
    return passed, failed, skipped
