// SPDX-License-Identifier: GPL-3.0-or-later
// Start time and memory of a desktop program on the current X display.
//
// Starts the program, stamps the moment its first top-level window is mapped
// and the moment that window is first drawn into, optionally reads the
// program's resident memory a given time after the start, and then ends it
// (its whole process group, and only that).
//
// Usage: fensterstart [-r SECONDS] [-l LOGFILE] PROGRAM [ARGS...]
// Prints one line: "map_ms=123.4 paint_ms=130.2 rss_kib=41234 name=TITLE"
// (rss_kib only with -r; the title is the mapped window's, so a message box
// that comes up before the main window can be told apart). Exit status 0 when the window appeared,
// 1 otherwise.
//
// The display must have no window manager: the program's top-level windows are
// then direct children of the root window, so SubstructureNotify on the root
// reports their creation and mapping, with no reparenting in between.
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double jetzt(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Windows of the program can vanish between an event and our request for them.
static int fehler_ignorieren(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

static long rss_kib(pid_t pid) {
    char pfad[64];
    snprintf(pfad, sizeof pfad, "/proc/%d/status", (int)pid);
    FILE* f = fopen(pfad, "r");
    if (!f) return -1;
    char zeile[256];
    long kib = -1;
    while (fgets(zeile, sizeof zeile, f))
        if (sscanf(zeile, "VmRSS: %ld kB", &kib) == 1) break;
    fclose(f);
    return kib;
}

// Waits for the next X event until the deadline; 0 on timeout.
static int naechstes_ereignis(Display* d, XEvent* e, double frist) {
    for (;;) {
        if (XPending(d)) {
            XNextEvent(d, e);
            return 1;
        }
        double rest = frist - jetzt();
        if (rest <= 0) return 0;
        struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, (int)(rest * 1000) + 1);
    }
}

static void beenden(pid_t pid) {
    kill(-pid, SIGTERM);
    for (int i = 0; i < 60; ++i) {
        if (waitpid(pid, NULL, WNOHANG) == pid) goto rest;
        usleep(50000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, NULL, 0);
rest:
    // Anything the program left behind in its group.
    kill(-pid, SIGKILL);
}

int main(int argc, char** argv) {
    double rss_nach = -1;
    const char* log = "/dev/null";
    int opt;
    while ((opt = getopt(argc, argv, "+r:l:")) != -1) {
        if (opt == 'r')
            rss_nach = atof(optarg);
        else if (opt == 'l')
            log = optarg;
        else
            return 2;
    }
    if (optind >= argc) {
        fprintf(stderr, "usage: fensterstart [-r SECONDS] [-l LOGFILE] PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "fensterstart: cannot open the display\n");
        return 2;
    }
    int damage_basis, damage_fehler;
    if (!XDamageQueryExtension(d, &damage_basis, &damage_fehler)) {
        fprintf(stderr, "fensterstart: the display has no DAMAGE extension\n");
        return 2;
    }
    XSetErrorHandler(fehler_ignorieren);
    fcntl(ConnectionNumber(d), F_SETFD, FD_CLOEXEC);
    Window wurzel = DefaultRootWindow(d);
    XSelectInput(d, wurzel, SubstructureNotifyMask);
    XSync(d, False);

    const double t0 = jetzt();
    pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        execvp(argv[optind], argv + optind);
        _exit(127);
    }
    setpgid(pid, pid);

    double t_map = -1, t_paint = -1;
    Window fenster = None;
    char* name = NULL;
    XEvent e;
    double frist = t0 + 30;
    while (t_paint < 0 && naechstes_ereignis(d, &e, frist)) {
        if (e.type == CreateNotify && e.xcreatewindow.parent == wurzel &&
            !e.xcreatewindow.override_redirect) {
            // Watched from its creation on, so its first drawing cannot slip by.
            XDamageCreate(d, e.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (e.type == MapNotify && e.xmap.event == wurzel && !e.xmap.override_redirect &&
                   fenster == None) {
            t_map = jetzt();
            fenster = e.xmap.window;
            XFetchName(d, fenster, &name);
            frist = t_map + 10;
        } else if (e.type == damage_basis + XDamageNotify) {
            XDamageNotifyEvent* n = (XDamageNotifyEvent*)&e;
            XDamageSubtract(d, n->damage, None, None);
            if (n->drawable == fenster && t_map >= 0) t_paint = jetzt();
        }
    }
    if (t_map < 0) {
        fprintf(stderr, "fensterstart: no window within 30 s\n");
        beenden(pid);
        return 1;
    }
    long kib = -1;
    if (rss_nach > 0) {
        double rest = t0 + rss_nach - jetzt();
        if (rest > 0) usleep((useconds_t)(rest * 1e6));
        if (waitpid(pid, NULL, WNOHANG) == 0) kib = rss_kib(pid);
    }
    printf("map_ms=%.1f paint_ms=%.1f", (t_map - t0) * 1000,
           t_paint >= 0 ? (t_paint - t0) * 1000 : -1.0);
    if (rss_nach > 0) printf(" rss_kib=%ld", kib);
    printf(" name=%s\n", name ? name : "");
    fflush(stdout);
    beenden(pid);
    XCloseDisplay(d);
    return 0;
}
