#!/usr/bin/env python3
"""Runs a command and prints "WALL CPU PEAK" for it: wall seconds, CPU seconds (user +
system of the command and every child it waited for) and the peak, in MB, of the summed
proportional set size (Pss, /proc/PID/smaps_rollup) of the command's whole process tree,
sampled every 10 ms. Pss shares the pages a forked child still shares with its parent
between them, so the sum counts each page once, unlike a sum of resident sizes.

e.g. (cd SOURCES_DIR && bench/process_tree_peak.py build/ornax_ingest region --replace --out OUT recipe.txt)
Usage: bench/process_tree_peak.py CMD [ARG...]   (its standard output goes to /dev/null,
 its standard error stays)
"""
import os
import subprocess
import sys
import time


def tree(root):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            stat = open(f"/proc/{entry}/stat").read()
        except OSError:
            continue
        ppid = int(stat[stat.rindex(")") + 2:].split()[1])
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo += children.get(pid, [])
    return found


def pss_kb(pid):
    try:
        for line in open(f"/proc/{pid}/smaps_rollup"):
            if line.startswith("Pss:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


start = time.time()
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
peak = 0
while child.poll() is None:
    peak = max(peak, sum(pss_kb(pid) for pid in tree(child.pid)))
    time.sleep(0.01)
wall = time.time() - start
usage = os.times()
print(f"{wall:.2f} {usage.children_user + usage.children_system:.2f} {peak / 1024:.0f}")
