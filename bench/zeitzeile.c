// SPDX-License-Identifier: GPL-3.0-or-later
// How late a window's once-a-second repaint comes after each wall-clock
// second boundary, watched from outside the program through the X DAMAGE
// extension.
//
// An idle clock window redraws only when its clock line changes, so each
// repaint marks one change of the shown second. Drawing requests that follow
// each other within 50 ms count as one repaint. Every whole second of the
// measurement is then judged by the repaints that began in it: the first one
// gives the lateness after the boundary; a second without a repaint was
// skipped, a second with two or more was doubled.
//
// Usage: zeitzeile WINDOW-ID SECONDS [-v]
// Prints: seconds N  lateness ms: min A  median B  p99 C  max D  skipped S  doubled T
// With -v each second is listed on stderr as well.
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <math.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double uhrzeit(void) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int vergleich(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

// Nearest-rank percentile of sorted values.
static double perzentil(const double* w, int n, double p) {
    int rang = (int)ceil(p * n);
    if (rang < 1) rang = 1;
    return w[rang - 1];
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: zeitzeile WINDOW-ID SECONDS [-v]\n");
        return 2;
    }
    const Window fenster = (Window)strtoul(argv[1], NULL, 0);
    const int sekunden = atoi(argv[2]);
    const int ausfuehrlich = argc > 3 && strcmp(argv[3], "-v") == 0;
    if (sekunden < 1) return 2;
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "zeitzeile: cannot open the display\n");
        return 2;
    }
    int basis, fehler;
    if (!XDamageQueryExtension(d, &basis, &fehler)) {
        fprintf(stderr, "zeitzeile: the display has no DAMAGE extension\n");
        return 2;
    }
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, fenster, &a) || a.map_state != IsViewable) {
        fprintf(stderr, "zeitzeile: window 0x%lx is not shown\n", (unsigned long)fenster);
        return 2;
    }
    Damage damage = XDamageCreate(d, fenster, XDamageReportNonEmpty);
    XSync(d, False);

    const double beginn = floor(uhrzeit()) + 1;  // the first whole second judged
    const double ende = beginn + sekunden;
    int* anzahl = calloc((size_t)sekunden, sizeof *anzahl);
    double* verspaetung = calloc((size_t)sekunden, sizeof *verspaetung);
    double letztes = -1;
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type != basis + XDamageNotify) continue;
            const double t = uhrzeit();
            XDamageSubtract(d, damage, None, None);
            const int neu = letztes < 0 || t - letztes > 0.050;
            letztes = t;
            if (!neu || t < beginn || t >= ende) continue;
            const int s = (int)(t - beginn);
            if (anzahl[s]++ == 0) verspaetung[s] = (t - floor(t)) * 1000;
        }
        const double rest = ende - uhrzeit();
        if (rest <= 0) break;
        struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, (int)(rest * 1000) + 1);
    }

    double* werte = malloc((size_t)sekunden * sizeof *werte);
    int n = 0, uebersprungen = 0, doppelt = 0;
    for (int s = 0; s < sekunden; ++s) {
        if (ausfuehrlich)
            fprintf(stderr, "second %lld: repaints %d, first after %.1f ms\n",
                    (long long)beginn + s, anzahl[s], anzahl[s] ? verspaetung[s] : -1.0);
        if (anzahl[s] == 0) ++uebersprungen;
        if (anzahl[s] > 1) ++doppelt;
        if (anzahl[s] > 0) werte[n++] = verspaetung[s];
    }
    qsort(werte, (size_t)n, sizeof *werte, vergleich);
    if (n == 0) {
        printf("seconds %d  no repaints  skipped %d  doubled %d\n", sekunden, uebersprungen,
               doppelt);
        return 1;
    }
    printf(
        "seconds %d  lateness ms: min %.1f  median %.1f  p99 %.1f  max %.1f  skipped %d  "
        "doubled %d\n",
        sekunden, werte[0], perzentil(werte, n, 0.5), perzentil(werte, n, 0.99), werte[n - 1],
        uebersprungen, doppelt);
    XDamageDestroy(d, damage);
    XCloseDisplay(d);
    return 0;
}
