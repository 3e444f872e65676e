// SPDX-License-Identifier: GPL-3.0-or-later
// The files installed beside the binary: the menu entry and the AppStream
// metainfo pass the desktop's own validators (where installed) and point at
// the installed binary, and the icon the entry names exists in every size.
#include <QImage>
#include <QtTest>

class Installation : public QObject {
    Q_OBJECT
private slots:
    void daten_data() {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("pruefer");     // validator and its arguments before the file
        QTest::addColumn<QStringList>("zeilen");  // lines the file must hold
        QTest::newRow("menu entry") << "tempiro.desktop"
                                    << "desktop-file-validate"
                                    << QStringList{"Exec=tempiro", "Name=Tempiro Zeitansage",
                                                   "Categories=Utility;Clock;", "Icon=tempiro"};
        QTest::newRow("metainfo")
            << "de.tempiro.Tempiro.metainfo.xml"
            << "appstreamcli validate --no-net"
            << QStringList{"<launchable type=\"desktop-id\">tempiro.desktop</launchable>",
                           "<binary>tempiro</binary>"};
    }
    void daten() {
        QFETCH(QString, datei);
        QFETCH(QString, pruefer);
        QFETCH(QStringList, zeilen);
        QFile f(QFINDTESTDATA("../data/" + datei));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList inhalt = QString::fromUtf8(f.readAll()).split(u'\n');
        for (QString& z : inhalt) z = z.trimmed();
        for (const QString& z : zeilen) QVERIFY2(inhalt.contains(z), qPrintable(z));
        const QStringList befehl = pruefer.split(u' ');
        if (!QStandardPaths::findExecutable(befehl[0]).isEmpty())
            QCOMPARE(QProcess::execute(befehl[0], befehl.mid(1) << f.fileName()), 0);
    }

    void icons() {
        for (int px : {48, 64, 128}) {
            const QImage bild(
                QFINDTESTDATA(QStringLiteral("../data/icons/%1/tempiro.png").arg(px)));
            QCOMPARE(bild.size(), QSize(px, px));
        }
    }
};

QTEST_MAIN(Installation)
#include "test_installation.moc"
