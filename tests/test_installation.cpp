// The files installed beside the binary: the menu entry, the AppStream
// metainfo and the icons agree with each other and pass the desktop's own
// validators (each used when it is installed).
#include <QImage>
#include <QtTest>

namespace {
QString Daten(const QString& name) { return QFINDTESTDATA("../data/" + name); }

// The keys of a desktop entry file (one group, no translations used here).
QHash<QString, QString> Schluessel(const QString& pfad) {
    QHash<QString, QString> werte;
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly)) return werte;
    for (const QByteArray& zeile : datei.readAll().split('\n')) {
        const qsizetype gleich = zeile.indexOf('=');
        if (gleich > 0)
            werte[QString::fromUtf8(zeile.first(gleich))] =
                QString::fromUtf8(zeile.mid(gleich + 1));
    }
    return werte;
}

// Runs a validator; an empty text when it is missing or accepts the file.
QString Validiere(const QString& programm, const QStringList& argumente) {
    if (QStandardPaths::findExecutable(programm).isEmpty()) return QString();
    QProcess p;
    p.start(programm, argumente);
    if (!p.waitForFinished(60000)) return programm + QStringLiteral(" did not finish");
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return QString();
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}
}  // namespace

class Installation : public QObject {
    Q_OBJECT
private slots:
    void menueintrag() {
        const QString pfad = Daten(QStringLiteral("tempiro.desktop"));
        QVERIFY(!pfad.isEmpty());
        const QString fehler = Validiere(QStringLiteral("desktop-file-validate"), {pfad});
        QVERIFY2(fehler.isEmpty(), qPrintable(fehler));
        const QHash<QString, QString> eintrag = Schluessel(pfad);
        QCOMPARE(eintrag.value("Exec"), "tempiro");
        QCOMPARE(eintrag.value("Name"), "Tempiro Zeitansage");
        QCOMPARE(eintrag.value("Categories"), "Utility;Clock;");
        // The icon it names exists in every installed size, square.
        const QString icon = eintrag.value("Icon");
        for (int groesse : {48, 64, 128}) {
            const QImage bild(Daten(QStringLiteral("icons/%1/%2.png").arg(groesse).arg(icon)));
            QCOMPARE(bild.size(), QSize(groesse, groesse));
        }
    }

    void metainfo() {
        const QString pfad = Daten(QStringLiteral("de.tempiro.Tempiro.metainfo.xml"));
        QVERIFY(!pfad.isEmpty());
        const QString fehler =
            Validiere(QStringLiteral("appstreamcli"), {"validate", "--no-net", pfad});
        QVERIFY2(fehler.isEmpty(), qPrintable(fehler));
        QFile datei(pfad);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        const QByteArray xml = datei.readAll();
        // It points at the menu entry and the binary that are installed.
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">tempiro.desktop</launchable>"));
        QVERIFY(xml.contains("<binary>tempiro</binary>"));
    }
};

QTEST_MAIN(Installation)
#include "test_installation.moc"
