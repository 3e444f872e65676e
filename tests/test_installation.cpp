// SPDX-License-Identifier: GPL-3.0-or-later
// The packaging around the binary, each check run in the source tree: the menu
// entry and the AppStream metainfo pass the desktop's own validators, both
// manual pages render without a warning, every place that states the version
// states the project's, and every source file carries its licence line.
#include <QtTest>

class Installation : public QObject {
    Q_OBJECT
private slots:
    void pruefen_data() {
        QTest::addColumn<QString>("befehl");
        QTest::addColumn<QString>("ausgabe");  // everything it writes
        const QString man = "man --warnings -E UTF-8 -l ";
        // The reverse-DNS id keeps the capital of the program's name; it is the
        // name the program gives its windows, so the hint stays. The manual
        // pages are rendered as lintian and man-db render them.
        // clang-format off
        QTest::newRow("menu entry") << "desktop-file-validate data/de.tempiro.Tempiro.desktop" << "";
        QTest::newRow("metainfo") << "appstreamcli validate --no-net --pedantic data/de.tempiro.Tempiro.metainfo.xml"
            << "P: de.tempiro.Tempiro:3: cid-contains-uppercase-letter de.tempiro.Tempiro\n\n"
               "✔ Validation was successful: pedantic: 1";
        QTest::newRow("manual pages") << man + "data/man/tempiro.1 data/man/de/tempiro.1 >/dev/null" << "";
        QTest::newRow("versions: changelog, metainfo, manual pages")
            << R"x(sed -nE '1s/^tempiro \(([^)]+)\).*/\1/p' debian/changelog
                  sed -nE 's/.*<release version="([^"]+)".*/\1/p' data/*.metainfo.xml | head -1
                  sed -nE 's/^\.TH .*"tempiro ([^"]+)".*/\1/p' data/man/tempiro.1 data/man/de/tempiro.1)x"
            << TEMPIRO_VERSION "\n" TEMPIRO_VERSION "\n" TEMPIRO_VERSION "\n" TEMPIRO_VERSION;
        QTest::newRow("licence lines") << "scripts/spdx_pruefen.sh" << "";
        // clang-format on
    }
    void pruefen() {
        QFETCH(QString, befehl);
        QFETCH(QString, ausgabe);
        const QString werkzeug = befehl.section(u' ', 0, 0);
        if (QStandardPaths::findExecutable(werkzeug).isEmpty() && !werkzeug.contains(u'/'))
            QSKIP(qPrintable(werkzeug + " is not installed"));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(TEMPIRO_QUELLEN);
        p.start("bash", {"-c", "export LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80; " + befehl});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(p.readAll()).trimmed(), ausgabe);
        QCOMPARE(p.exitCode(), 0);
    }
};

QTEST_MAIN(Installation)
#include "test_installation.moc"
