// SPDX-License-Identifier: GPL-3.0-or-later
// The packaging around the binary: the menu entry and the AppStream metainfo
// pass the desktop's own validators, both manual pages render without a
// warning, every place that states the version states the project's, and the
// licence check names exactly the source files that lack their licence line.
#include <QtTest>

namespace {

// Runs a bash command; its status and everything it wrote.
QPair<int, QString> Ausfuehren(const QString& befehl) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"), {"-c", befehl});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {-1, {}};
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

QString Lesen(const QString& pfad) {
    QFile f(pfad);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

class Installation : public QObject {
    Q_OBJECT
private slots:
    // What each checker reports besides its success; the manual pages rendered
    // as lintian and man-db render them, groff's warnings on stderr.
    void pruefer_data() {
        QTest::addColumn<QString>("befehl");  // %1: the file
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QStringList>("erlaubt");
        const QString man =
            "LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80 man --warnings -E UTF-8 -l %1 >/dev/null";
        // The reverse-DNS id keeps the capital of the program's name; it is the
        // name the program gives its windows, so the hint stays.
        // clang-format off
        QTest::newRow("menu entry") << "desktop-file-validate %1" << "de.tempiro.Tempiro.desktop" << QStringList();
        QTest::newRow("metainfo") << "appstreamcli validate --no-net --pedantic %1" << "de.tempiro.Tempiro.metainfo.xml"
            << QStringList{"P: de.tempiro.Tempiro:3: cid-contains-uppercase-letter de.tempiro.Tempiro"};
        QTest::newRow("English manual page") << man << "man/tempiro.1" << QStringList();
        QTest::newRow("German manual page") << man << "man/de/tempiro.1" << QStringList();
        // clang-format on
    }
    void pruefer() {
        QFETCH(QString, befehl);
        QFETCH(QString, datei);
        QFETCH(QStringList, erlaubt);
        const QString werkzeug = befehl.section(u' ', befehl.startsWith("LC_ALL") ? 3 : 0, 0);
        if (QStandardPaths::findExecutable(werkzeug).isEmpty())
            QSKIP(qPrintable(werkzeug + " is not installed"));
        const auto [status, aus] = Ausfuehren(befehl.arg(QFINDTESTDATA("../data/" + datei)));
        QStringList befunde;
        for (const QString& z : aus.split(u'\n', Qt::SkipEmptyParts))
            if (!z.contains(u"Validation was successful")) befunde << z.trimmed();
        QCOMPARE(befunde, erlaubt);
        QCOMPARE(status, 0);
    }

    // A release changes the version in CMakeLists.txt; every other place that
    // names it must follow.
    void version_data() {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("muster");  // the version is its first group
        // clang-format off
        QTest::newRow("Debian changelog") << "debian/changelog" << "^tempiro \\(([^)]+)\\)";
        QTest::newRow("metainfo") << "data/de.tempiro.Tempiro.metainfo.xml" << "<release version=\"([^\"]+)\"";
        QTest::newRow("English manual page") << "data/man/tempiro.1" << "\"tempiro ([^\"]+)\"";
        QTest::newRow("German manual page") << "data/man/de/tempiro.1" << "\"tempiro ([^\"]+)\"";
        // clang-format on
    }
    void version() {
        QFETCH(QString, datei);
        QFETCH(QString, muster);
        const QRegularExpression re(muster, QRegularExpression::MultilineOption);
        QCOMPARE(re.match(Lesen(QFINDTESTDATA("../" + datei))).captured(1), TEMPIRO_VERSION);
    }

    // The licence check on small trees, and on the project's own sources.
    void lizenzzeilen_data() {
        QTest::addColumn<QStringList>("dateien");  // "path=content"; "*" marks executable
        QTest::addColumn<QStringList>("fehlend");  // the files it must name
        const QString cpp = "// SPDX-License-Identifier: GPL-3.0-or-later\n";
        const QString raute = "# SPDX-License-Identifier: GPL-3.0-or-later\n";
        // clang-format off
        QTest::newRow("present, or not source, or built") << QStringList{
            "src/a.cpp=" + cpp + "int a;\n", "src/a.h=" + cpp, "tools/x.c=" + cpp,
            "CMakeLists.txt=" + raute, "cmake/X.cmake=" + raute, "run.sh=#!/bin/sh\n" + raute,
            "t/e2e.py=#!/usr/bin/env python3\n" + raute, "debian/rules=#!/usr/bin/make -f\n" + raute,
            "*bin/fertig=#!/bin/sh\n" + raute, "README.md=# Tempiro\n", "data/x.desktop=[Desktop Entry]\n",
            "build/gen.cpp=int g;\n", "build-asan/x.h=\n", "obj-x86_64-linux-gnu/y.cpp=\n"} << QStringList{};
        QTest::newRow("missing or misplaced") << QStringList{
            "src/a.cpp=#include <x>\n" + cpp, "src/b.h=" + raute, "sub/CMakeLists.txt=project(x)\n",
            "x.cmake=", "run.sh=" + raute + "#!/bin/sh\n", "tool.py=import os\n",
            "*bin/mit=" + raute + "#!/bin/sh\n", "*.ci/run=#!/usr/bin/env bash\necho\n",
            "debian/rules=#!/usr/bin/make -f\n"} << QStringList{
            ".ci/run", "bin/mit", "debian/rules", "run.sh", "src/a.cpp", "src/b.h", "sub/CMakeLists.txt",
            "tool.py", "x.cmake"};
        // clang-format on
    }
    void lizenzzeilen() {
        QFETCH(QStringList, dateien);
        QFETCH(QStringList, fehlend);
        const QString skript = QFINDTESTDATA("../scripts/spdx_pruefen.sh");
        QTemporaryDir baum;
        for (QString d : dateien) {
            const bool ausfuehrbar = d.startsWith(u'*');
            const QString pfad = baum.filePath(d.mid(ausfuehrbar).section(u'=', 0, 0));
            QFile f(pfad);
            QVERIFY(QDir().mkpath(QFileInfo(pfad).path()) && f.open(QIODevice::WriteOnly));
            f.write(d.section(u'=', 1).toUtf8());
            if (ausfuehrbar) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        }
        const auto [status, aus] = Ausfuehren("bash " + skript + " " + baum.path() +
                                              " | LC_ALL=C sort; exit ${PIPESTATUS[0]}");
        QCOMPARE(aus.split(u'\n', Qt::SkipEmptyParts), fehlend);
        QCOMPARE(status, fehlend.isEmpty() ? 0 : 1);
    }
    void lizenzzeilenImProjekt() {
        const auto [status, aus] =
            Ausfuehren("bash " + QFINDTESTDATA("../scripts/spdx_pruefen.sh"));
        QVERIFY2(status == 0, qPrintable("no licence line in:\n" + aus));
    }
};

QTEST_MAIN(Installation)
#include "test_installation.moc"
