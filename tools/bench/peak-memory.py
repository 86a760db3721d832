#!/usr/bin/env python3
"""Helper of installer-bench.sh and serve-bench.sh: the peak memory of a program
(a Windows program under Wine, or a server and its workers).

usage: peak-memory.py PROGRAM.exe OUTFILE
       peak-memory.py --pid PID OUTFILE

Samples, every 20 ms, the processes whose first argument names
PROGRAM.exe (Wine shows the Windows path there; other processes that merely
mention it in later arguments do not count) and keeps, until it is stopped
with SIGTERM or SIGINT, the largest values seen:
  private  RssAnon, the resident anonymous memory: what Windows counts as the
           process's private bytes (heap, stacks, a loader's copy of the image)
  resident VmHWM, the kernel's own high-water mark of the resident set, which
           also counts pages of mapped files
Writes "PRIVATE_KIB RESIDENT_KIB" to OUTFILE when stopped.

With --pid (a server and its workers, such as nginx's): the process PID and
its descendants, whose values are added up at each sample: private is the
peak of their summed RssAnon, resident the peak of their summed VmRSS.
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


def children(pid):
    """The process pid and all its descendants."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                pass
    tree, grew = {pid}, True
    while grew:
        grew = False
        for child, parent in parents.items():
            if parent in tree and child not in tree:
                tree.add(child)
                grew = True
    return tree


def tree_status(members):
    total = {"RssAnon": 0, "VmRSS": 0}
    for member in members:
        try:
            with open(f"/proc/{member}/status") as f:
                for line in f:
                    key, _, rest = line.partition(":")
                    if key in total:
                        total[key] += int(rest.split()[0])
        except OSError:
            pass
    return total


def main_tree(pid, out):
    peak = {"RssAnon": 0, "VmRSS": 0}
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    # The tree is looked for every 200 ms (listing /proc costs more than a
    # sample), its members sampled every 20 ms.
    rounds, members = 0, {pid}
    while not stop and os.path.exists(f"/proc/{pid}"):
        if rounds % 10 == 0:
            members = children(pid)
        rounds += 1
        for key, value in tree_status(members).items():
            peak[key] = max(peak[key], value)
        time.sleep(0.02)
    with open(out, "w") as f:
        f.write(f"{peak['RssAnon']} {peak['VmRSS']}\n")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--pid":
        main_tree(int(sys.argv[2]), sys.argv[3])
        return
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
