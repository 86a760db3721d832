#!/usr/bin/env python3
"""Helper of installer-bench.sh: the peak memory of a Windows program under Wine.

usage: peak-memory.py PROGRAM.exe OUTFILE

Samples, every 20 ms, the processes whose first argument names
PROGRAM.exe (Wine shows the Windows path there; other processes that merely
mention it in later arguments do not count) and keeps, until it is stopped
with SIGTERM or SIGINT, the largest values seen:
  private  RssAnon, the resident anonymous memory: what Windows counts as the
           process's private bytes (heap, stacks, a loader's copy of the image)
  resident VmHWM, the kernel's own high-water mark of the resident set, which
           also counts pages of mapped files
Writes "PRIVATE_KIB RESIDENT_KIB" to OUTFILE when stopped.
"""
import os
import signal
import sys
import time


def matches(pid, name):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            first = f.read().split(b"\0", 1)[0].decode("utf-8", "replace")
    except OSError:
        return False
    base = first.replace("\\", "/").rsplit("/", 1)[-1]
    return base.lower() == name.lower()


def fields(pid):
    values = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("RssAnon", "VmHWM"):
                    values[key] = int(rest.split()[0])
    except OSError:
        pass
    return values


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    name, out = sys.argv[1], sys.argv[2]
    peak = {"RssAnon": 0, "VmHWM": 0}
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    # New processes are looked for every 200 ms (a program's exec changes
    # what it shows, so nothing is ruled out for good); the ones found are
    # sampled every 20 ms.
    watched = set()
    rounds = 0
    while not stop:
        if rounds % 10 == 0:
            for entry in os.listdir("/proc"):
                if entry.isdigit() and int(entry) not in watched and matches(int(entry), name):
                    watched.add(int(entry))
        rounds += 1
        for pid in list(watched):
            values = fields(pid)
            if not values:
                watched.discard(pid)
            for key, value in values.items():
                peak[key] = max(peak[key], value)
        time.sleep(0.02)
    with open(out, "w") as f:
        f.write(f"{peak['RssAnon']} {peak['VmHWM']}\n")


if __name__ == "__main__":
    main()
