#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Wake-ups and CPU of a running process over some seconds, by thread.

    wecker.py PID SECONDS

Reads /proc/PID/task/*/ at the start and at the end: each thread's name, its
context switches (voluntary: it slept and was woken; involuntary: it was
preempted) and its run time by the scheduler. Threads that start meanwhile
count from zero; threads that end meanwhile are lost. Prints one line of
key=value figures, per second:

    wakeups=N switches=N cpu=PCT ticks_cpu=PCT threads=NAME:WAKEUPS:SWITCHES,...

wakeups counts the voluntary switches of all threads, switches both kinds;
cpu is the scheduler's run time as a share of one core, ticks_cpu the same from
the kernel's user and system ticks of the process. Threads of the same name are
added up (the main thread is named after the program).
"""
import os
import sys
import time


def lesen(pid):
    threads = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        pfad = "/proc/%d/task/%s/" % (pid, tid)
        try:
            name = open(pfad + "comm").read().strip()
            werte = dict(z.split(":", 1) for z in open(pfad + "status") if ":" in z)
            lauf = int(open(pfad + "schedstat").read().split()[0])
        except (OSError, ValueError):
            continue
        threads[tid] = (
            name,
            int(werte["voluntary_ctxt_switches"]),
            int(werte["nonvoluntary_ctxt_switches"]),
            lauf,
        )
    felder = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return threads, int(felder[11]) + int(felder[12]), time.monotonic()


def main():
    pid, dauer = int(sys.argv[1]), float(sys.argv[2])
    vorher, ticks0, t0 = lesen(pid)
    time.sleep(dauer)
    nachher, ticks1, t1 = lesen(pid)
    sek = t1 - t0
    je_name, lauf = {}, 0
    for tid, (name, vol, nvol, ns) in nachher.items():
        _, vol0, nvol0, ns0 = vorher.get(tid, (name, 0, 0, 0))
        w, s = je_name.get(name, (0, 0))
        je_name[name] = (w + vol - vol0, s + vol - vol0 + nvol - nvol0)
        lauf += ns - ns0
    wakeups = sum(w for w, _ in je_name.values())
    switches = sum(s for _, s in je_name.values())
    fuer = ",".join(
        "%s:%.2f:%.2f" % (n.replace(" ", "_"), w / sek, s / sek)
        for n, (w, s) in sorted(je_name.items(), key=lambda x: -x[1][1])
    )
    print(
        "wakeups=%.2f switches=%.2f cpu=%.3f ticks_cpu=%.3f threads=%s"
        % (
            wakeups / sek,
            switches / sek,
            lauf / 1e9 / sek * 100,
            (ticks1 - ticks0) / os.sysconf("SC_CLK_TCK") / sek * 100,
            fuer,
        )
    )


if __name__ == "__main__":
    main()
