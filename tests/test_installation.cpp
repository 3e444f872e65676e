// SPDX-License-Identifier: GPL-3.0-or-later
// The files installed beside the binary and the packaging around them: the
// menu entry and the AppStream metainfo pass the desktop's own validators and
// point at the installed binary, the icon the entry names exists in every
// size, an installation holds exactly the program's files, both manual pages
// render without a warning, every place that states the version states the
// project's, and the licence check of the sources finds exactly the files that
// lack their licence line.
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct Lauf {
    int status = -1;
    QString aus, fehler;
};

Lauf Ausfuehren(const QString& programm, const QStringList& argumente,
                const QProcessEnvironment& umgebung = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(umgebung);
    p.start(programm, argumente);
    Lauf l;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return l;
    l.status = p.exitCode();
    l.aus = QString::fromUtf8(p.readAllStandardOutput());
    l.fehler = QString::fromUtf8(p.readAllStandardError());
    return l;
}

QString Lesen(const QString& pfad) {
    QFile f(pfad);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// What a validator reports, line by line, without its line of success.
QStringList Befunde(const QString& ausgabe) {
    QStringList b;
    for (const QString& z : ausgabe.split(u'\n', Qt::SkipEmptyParts))
        if (!z.contains(u"Validation was successful")) b << z.trimmed();
    return b;
}

}  // namespace

class Installation : public QObject {
    Q_OBJECT
private slots:
    void daten_data() {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("pruefer");      // validator and its arguments before the file
        QTest::addColumn<QStringList>("zeilen");   // lines the file must hold
        QTest::addColumn<QStringList>("erlaubt");  // issues the validator may report
        QTest::newRow("menu entry") << "de.tempiro.Tempiro.desktop"
                                    << "desktop-file-validate"
                                    << QStringList{"Exec=tempiro", "Name=Tempiro Zeitansage",
                                                   "Categories=Utility;Clock;", "Icon=tempiro"}
                                    << QStringList{};
        // The reverse-DNS id keeps the capital of the program's name; it is the
        // name the program gives its windows, so the hint stays.
        QTest::newRow("metainfo")
            << "de.tempiro.Tempiro.metainfo.xml"
            << "appstreamcli validate --no-net --pedantic"
            << QStringList{"<id>de.tempiro.Tempiro</id>",
                           "<launchable "
                           "type=\"desktop-id\">de.tempiro.Tempiro.desktop</launchable>",
                           "<binary>tempiro</binary>"}
            << QStringList{
                   "P: de.tempiro.Tempiro:3: cid-contains-uppercase-letter "
                   "de.tempiro.Tempiro"};
    }
    void daten() {
        QFETCH(QString, datei);
        QFETCH(QString, pruefer);
        QFETCH(QStringList, zeilen);
        QFETCH(QStringList, erlaubt);
        const QString pfad = QFINDTESTDATA("../data/" + datei);
        QStringList inhalt = Lesen(pfad).split(u'\n');
        for (QString& z : inhalt) z = z.trimmed();
        for (const QString& z : zeilen) QVERIFY2(inhalt.contains(z), qPrintable(z));
        const QStringList befehl = pruefer.split(u' ');
        if (QStandardPaths::findExecutable(befehl[0]).isEmpty())
            QSKIP(qPrintable(befehl[0] + " is not installed"));
        const Lauf l = Ausfuehren(befehl[0], befehl.mid(1) << pfad);
        QVERIFY2(l.status == 0, qPrintable(l.aus + l.fehler));
        QCOMPARE(Befunde(l.aus + l.fehler), erlaubt);
    }

    void icons() {
        for (int px : {48, 64, 128}) {
            const QImage bild(
                QFINDTESTDATA(QStringLiteral("../data/icons/%1/tempiro.png").arg(px)));
            QCOMPARE(bild.size(), QSize(px, px));
        }
    }

    // What `cmake --install` puts into a prefix, and nothing else: the Debian
    // package installs the same files (scripts/paket.sh compares the two), so
    // a file lost or added here is lost or added there.
    void installieren() {
        QTemporaryDir ziel;
        QVERIFY(ziel.isValid());
        const Lauf l = Ausfuehren(QStringLiteral(TEMPIRO_CMAKE),
                                  {"--install", TEMPIRO_BAU, "--prefix", ziel.path()});
        QVERIFY2(l.status == 0, qPrintable(l.aus + l.fehler));
        QStringList dateien;
        QDirIterator it(ziel.path(), QDir::Files | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) dateien << QDir(ziel.path()).relativeFilePath(it.next());
        dateien.sort();
        QCOMPARE(dateien,
                 (QStringList{"bin/tempiro", "share/applications/de.tempiro.Tempiro.desktop",
                              "share/icons/hicolor/128x128/apps/tempiro.png",
                              "share/icons/hicolor/48x48/apps/tempiro.png",
                              "share/icons/hicolor/64x64/apps/tempiro.png",
                              "share/man/de/man1/tempiro.1", "share/man/man1/tempiro.1",
                              "share/metainfo/de.tempiro.Tempiro.metainfo.xml"}));
        QVERIFY(QFileInfo(ziel.filePath("bin/tempiro")).isExecutable());
    }

    // Rendered as lintian and man-db render them; a page that groff warns
    // about, or that lost one of the sections its readers look for, fails.
    void handbuch_data() {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QStringList>("teile");
        QTest::newRow("English") << "man/tempiro.1"
                                 << QStringList{"SYNOPSIS",
                                                "OPTIONS",
                                                "FILES",
                                                "DIAGNOSTICS",
                                                "EXIT STATUS",
                                                "-platform",
                                                "01 05.12.2026 14:03:27,50"};
        QTest::newRow("German") << "man/de/tempiro.1"
                                << QStringList{"ÜBERSICHT",
                                               "OPTIONEN",
                                               "DATEIEN",
                                               "DIAGNOSE",
                                               "RÜCKGABEWERT",
                                               "-platform",
                                               "01 05.12.2026 14:03:27,50"};
    }
    void handbuch() {
        QFETCH(QString, datei);
        QFETCH(QStringList, teile);
        if (QStandardPaths::findExecutable(QStringLiteral("man")).isEmpty())
            QSKIP("man (man-db) is not installed");
        QProcessEnvironment umgebung = QProcessEnvironment::systemEnvironment();
        umgebung.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        umgebung.insert(QStringLiteral("MANROFFSEQ"), QString());
        umgebung.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        const Lauf l = Ausfuehren(
            QStringLiteral("man"),
            {"--warnings", "-E", "UTF-8", "-l", QFINDTESTDATA("../data/" + datei)}, umgebung);
        QCOMPARE(l.status, 0);
        QCOMPARE(l.fehler, QString());
        // Both files and every message the program can show are explained.
        for (const QString& t : teile + QStringList{"zeitnehmung.txt", "SprecherNr.txt",
                                                    "Problem mit Initialisierung der Sprachausgabe",
                                                    "zeitnehmung.txt lässt sich nicht öffnen",
                                                    "zeitnehmung.txt lässt sich nicht schreiben",
                                                    "SprecherNr.txt lässt sich nicht speichern",
                                                    "Countdown nicht sinnvoll", "Zeitpunkt vorbei"})
            QVERIFY2(l.aus.contains(t), qPrintable(t));
    }

    // A release changes the version in CMakeLists.txt; every other place that
    // names it must follow.
    void version_data() {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("muster");  // the version is its first group
        QTest::newRow("Debian changelog") << "debian/changelog"
                                          << "^tempiro \\(([^)]+)\\)";
        QTest::newRow("metainfo") << "data/de.tempiro.Tempiro.metainfo.xml"
                                  << "<release version=\"([^\"]+)\"";
        QTest::newRow("English manual page") << "data/man/tempiro.1"
                                             << "\"tempiro ([^\"]+)\"";
        QTest::newRow("German manual page") << "data/man/de/tempiro.1"
                                            << "\"tempiro ([^\"]+)\"";
    }
    void version() {
        QFETCH(QString, datei);
        QFETCH(QString, muster);
        const QRegularExpression re(muster, QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = re.match(Lesen(QFINDTESTDATA("../" + datei)));
        QVERIFY2(m.hasMatch(), qPrintable(muster));
        QCOMPARE(m.captured(1), QStringLiteral(TEMPIRO_VERSION));
    }

    // The licence check on small trees: which files it names, and its status.
    void lizenzzeilen_data() {
        QTest::addColumn<QStringList>("dateien");  // "path=content"; "*" marks executable
        QTest::addColumn<QStringList>("fehlend");  // the files it must name
        const QString cpp = QStringLiteral("// SPDX-License-Identifier: GPL-3.0-or-later\n");
        const QString raute = QStringLiteral("# SPDX-License-Identifier: GPL-3.0-or-later\n");
        QTest::newRow("all present") << QStringList{"src/a.cpp=" + cpp + "int a;\n",
                                                    "src/a.h=" + cpp,
                                                    "tools/x.c=" + cpp,
                                                    "CMakeLists.txt=" + raute,
                                                    "cmake/X.cmake=" + raute,
                                                    "run.sh=#!/bin/sh\n" + raute,
                                                    "t/e2e.py=#!/usr/bin/env python3\n" + raute,
                                                    "debian/rules=#!/usr/bin/make -f\n" + raute}
                                     << QStringList{};
        QTest::newRow("missing or misplaced")
            << QStringList{"src/a.cpp=#include <x>\n" + cpp,   "src/b.h=" + raute,
                           "sub/CMakeLists.txt=project(x)\n",  "x.cmake=",
                           "run.sh=" + raute + "#!/bin/sh\n",  "tool.py=import os\n",
                           "*bin/mit=" + raute + "#!/bin/sh\n"}
            << QStringList{"src/a.cpp", "src/b.h", "sub/CMakeLists.txt", "x.cmake", "run.sh",
                           "tool.py",   "bin/mit"};
        QTest::newRow("scripts known by their first line")
            << QStringList{"*.ci/run=#!/usr/bin/env bash\necho\n",
                           "*bin/fertig=#!/bin/sh\n" + raute, "debian/rules=#!/usr/bin/make -f\n"}
            << QStringList{".ci/run", "debian/rules"};
        QTest::newRow("not source, or built")
            << QStringList{"README.md=# Tempiro\n", "data/x.desktop=[Desktop Entry]\n",
                           "src/a.cpp=" + cpp,      "build/gen.cpp=int g;\n",
                           "build-asan/x.h=\n",     "obj-x86_64-linux-gnu/y.cpp=\n"}
            << QStringList{};
    }
    void lizenzzeilen() {
        QFETCH(QStringList, dateien);
        QFETCH(QStringList, fehlend);
        QTemporaryDir baum;
        QVERIFY(baum.isValid());
        for (QString d : dateien) {
            const bool ausfuehrbar = d.startsWith(u'*');
            if (ausfuehrbar) d.remove(0, 1);
            const qsizetype gleich = d.indexOf(u'=');
            const QString pfad = baum.filePath(d.left(gleich));
            QVERIFY(QDir().mkpath(QFileInfo(pfad).path()));
            QFile f(pfad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(d.mid(gleich + 1).toUtf8());
            f.close();
            if (ausfuehrbar) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        }
        const Lauf l = Ausfuehren(QStringLiteral("bash"),
                                  {QFINDTESTDATA("../scripts/spdx_pruefen.sh"), baum.path()});
        QStringList genannt = l.aus.split(u'\n', Qt::SkipEmptyParts);
        genannt.sort();
        fehlend.sort();
        QCOMPARE(genannt, fehlend);
        QCOMPARE(l.status, fehlend.isEmpty() ? 0 : 1);
    }

    // The project's own sources, new files included.
    void lizenzzeilen_im_projekt() {
        const QString skript = QFINDTESTDATA("../scripts/spdx_pruefen.sh");
        const Lauf l = Ausfuehren(QStringLiteral("bash"), {skript});
        QVERIFY2(l.status == 0, qPrintable("no licence line in:\n" + l.aus + l.fehler));
    }
};

QTEST_MAIN(Installation)
#include "test_installation.moc"
