// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Tonserver.h"

#include <sys/prctl.h>

#include <QFile>
#include <QStandardPaths>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;

bool PrivaterTonserver::Starten() {
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) return false;
    const QString sockel = Adresse().mid(5);
    QFile::remove(sockel);
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("HOME", dir_.path());
    env.insert("XDG_RUNTIME_DIR", dir_.path());
    server_.setProcessEnvironment(env);
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    server_.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                 "--log-level=0", "--load=module-null-sink sink_name=null",
                                 "--load=module-suspend-on-idle timeout=1",
                                 "--load=module-native-protocol-unix auth-anonymous=1"});
    for (int i = 0; i < 200 && server_.waitForStarted(5000); ++i) {
        if (QFile::exists(sockel)) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void PrivaterTonserver::Stoppen() {
    if (server_.state() == QProcess::NotRunning) return;
    Anhalten(false);
    server_.kill();
    server_.waitForFinished(5000);
}

void PrivaterTonserver::Anhalten(bool an) {
    if (server_.state() != QProcess::NotRunning)
        ::kill(pid_t(server_.processId()), an ? SIGSTOP : SIGCONT);
}
