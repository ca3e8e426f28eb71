"""Pid files of the services the tests start and stop themselves (slapd, pcscd, the virtual card):
reading them, telling whether the process they name still runs that program, and stopping it."""
import os
import signal
import time


def read_pid(path):
    try:
        with open(path) as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return 0


def alive(pid, program=None):
    """Whether pid is a live process (not a zombie) and, when named, runs that program: a pid
    file left by an earlier run may name a number that another process has taken since."""
    if pid <= 1:
        return False
    try:
        with open("/proc/%d/stat" % pid) as f:
            if f.read().split(")")[-1].split()[0] == "Z":
                return False
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return program is None or program.encode() in f.read()
    except OSError:
        return False


def start_time(pid):
    """The start time of pid in clock ticks since boot (0 when there is no such process): with the
    pid it names one process, even after the number has been given to another."""
    if pid <= 1:
        return 0
    try:
        with open("/proc/%d/stat" % pid) as f:
            return int(f.read().split(")")[-1].split()[19])
    except (OSError, ValueError, IndexError):
        return 0


def stop_pid(pid, program):
    """SIGTERM, then SIGKILL when the process is still there after ten seconds."""
    if not alive(pid, program):
        return
    os.kill(pid, signal.SIGTERM)
    for _ in range(200):
        if not alive(pid):
            return
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
