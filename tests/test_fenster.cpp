// SPDX-License-Identifier: GPL-3.0-or-later
// The window with fake services: start-up in its variants, the controls, the
// clock line, the voice choice and speech switch, announcements, time stamps,
// shut-down.
#include <QAccessible>
#include <QtTest>
#include <csignal>

#include "app/SignalEnde.h"
#include "app/Warten.h"
#include "support/Fakes.h"

namespace {
QAccessibleInterface* Zugang(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }
const QString SprachFehler =
    QStringLiteral("Problem mit Initialisierung der Sprachausgabe, Installation überprüfen");
const QString LogFehler = QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen");

QStringList Eintraege(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}
QStringList Eintraege(const QListWidget* l) {
    QStringList e;
    for (int i = 0; i < l->count(); ++i) e << l->item(i)->text();
    return e;
}
QStringList Zweistellig(int bis) {
    QStringList l;
    for (int i = 0; i <= bis; ++i) l << QString::asprintf("%02d", i);
    return l;
}
}  // namespace

class Fenster : public QObject {
    Q_OBJECT
private slots:
    void normalerStart() {
        Pruefstand p;
        p.dateien.dateien["zeitnehmung.txt"] = "01 04.12.2026 09:00:00,00\r\n";
        Form1& f = p.Starten();
        QCOMPARE(p.meldung.texte, QStringList());
        QCOMPARE(Eintraege(f.Combo_H), Zweistellig(23));
        QCOMPARE(Eintraege(f.Combo_M), Zweistellig(59));
        QCOMPARE(Eintraege(f.Combo_S), Zweistellig(59));
        for (QComboBox* c : {f.Combo_H, f.Combo_M, f.Combo_S}) QCOMPARE(c->currentText(), "00");
        QCOMPARE(f.Combo_Morgen->currentText(), "Heute");
        QCOMPARE(Eintraege(f.Combo_Morgen), QStringList({"Heute", "Morgen"}));
        QCOMPARE(Wert(f.Check_SprachAusgabe), 1);
        QCOMPARE(Wert(f.Check_CountDown), 1);
        QVERIFY(f.Check_CountDown->isEnabled() && f.Command_Datumsansage->isEnabled());
        QCOMPARE(f.A.SprachAusgabeAn, True16);
        QCOMPARE(f.SekundenschlagAus, True16);
        QVERIFY(f.A.Zeitnehmung);
        QVERIFY(f.Timer_Zeitanzeige->IstAn() && !f.Timer_OccRestZeit->IstAn());
        // Three voices, no remembered one: entry "0" chosen and remembered.
        QCOMPARE(Eintraege(f.List_Sprecher), QStringList({"0", "1", "2"}));
        QCOMPARE(f.List_Sprecher->currentRow(), 0);
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt"), QByteArray("0\r\n"));
        QCOMPARE(p.Stimme()->rate, -5);
        // Lines already in the log stay.
        QCOMPARE(p.Log(), QByteArray("01 04.12.2026 09:00:00,00\r\n"));
    }

    void fensterUndControls() {
        Pruefstand p;
        Form1& f = p.Starten();
        QCOMPARE(f.windowTitle(), "Tempiro Zeitansage");
        QCOMPARE(f.size(), QSize(312, 221));
        QVERIFY(f.font().bold());
        QCOMPARE(f.Command_Start->geometry(), QRect(104, 112, 81, 33));
        QCOMPARE(f.Image1->geometry(), QRect(192, 8, 115, 144));
        QCOMPARE(f.Image1->pixmap().size(), QSize(115, 144));
        QVERIFY(f.Label_Zeitanzeige->font().bold());
        QVERIFY(!f.Label1->font().bold());
        QVERIFY(!f.Text_RestZeit->isEnabled());
        QVERIFY(f.Label_akti->isHidden());
        // Tab order from index 0 and the focus at start.
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(QApplication::focusWidget(), f.Command1);
        QCOMPARE(f.Command1->nextInFocusChain(), f.Command2);
        // The space bar presses "start": the beat is switched on.
        QTest::keyClick(f.Command1, Qt::Key_Space);
        QCOMPARE(f.SekundenschlagAus, False16);
        // The remaining-time box cannot be typed into.
        QTest::keyClicks(f.Text_RestZeit, "12");
        QCOMPARE(f.Text_RestZeit->text(), QString());
    }

    // The start-up failures: each says so once, speech is off and locked when
    // it failed, and the log is opened whenever it can be, so no stamp is lost.
    void startFehler_data() {
        QTest::addColumn<bool>("ohneSprache");
        QTest::addColumn<bool>("rateScheitert");
        QTest::addColumn<bool>("logGesperrt");
        QTest::addColumn<QStringList>("meldungen");
        QTest::newRow("no engine") << true << false << false << QStringList{SprachFehler};
        QTest::newRow("rate refused") << false << true << false << QStringList{SprachFehler};
        QTest::newRow("log locked") << false << false << true << QStringList{LogFehler};
        QTest::newRow("both") << true << false << true << QStringList{SprachFehler, LogFehler};
    }
    void startFehler() {
        QFETCH(bool, ohneSprache);
        QFETCH(bool, rateScheitert);
        QFETCH(bool, logGesperrt);
        QFETCH(QStringList, meldungen);
        Pruefstand p;
        p.ohneSprache = ohneSprache;
        p.sprache.rateScheitert = rateScheitert;
        if (logGesperrt) p.dateien.gesperrt << "zeitnehmung.txt";
        Form1& f = p.Starten();
        QCOMPARE(p.meldung.texte, meldungen);
        const bool sprachFehler = ohneSprache || rateScheitert;
        QCOMPARE(f.A.SprachAusgabeAn, sprachFehler ? False16 : True16);
        QCOMPARE(f.Check_SprachAusgabe->isEnabled(), !sprachFehler);
        QCOMPARE(Wert(f.Check_CountDown), sprachFehler ? 0 : 1);
        QCOMPARE(f.Command_Zeitansage->isEnabled(), !sprachFehler);
        QCOMPARE(f.List_Sprecher->isEnabled(), !sprachFehler);
        QCOMPARE(bool(f.A.Zeitnehmung), !logGesperrt);
        // A press without a log says why nothing is written; with one it writes.
        f.btn_ZeitSpeichern_Click();
        QCOMPARE(p.meldung.texte.size(), meldungen.size() + (logGesperrt ? 1 : 0));
        QCOMPARE(p.Log(), logGesperrt ? QByteArray() : QByteArray("01 05.12.2026 10:00:00,00\r\n"));
        f.close();  // closing without a log is quiet and safe
        QCOMPARE(p.meldung.texte.size(), meldungen.size() + (logGesperrt ? 1 : 0));
    }

    // Each remembered voice number and what start-up makes of it.
    void sprecherNr_data() {
        QTest::addColumn<int>("stimmen");
        QTest::addColumn<QByteArray>("datei");  // "-" for no file
        QTest::addColumn<bool>("fehler");
        QTest::addColumn<int>("zeile");
        QTest::addColumn<QByteArray>("danach");
        QTest::newRow("missing") << 3 << QByteArray("-") << false << 0 << QByteArray("0\r\n");
        QTest::newRow("empty") << 3 << QByteArray("") << false << 0 << QByteArray("0\r\n");
        QTest::newRow("2") << 3 << QByteArray("2\r\n") << false << 2 << QByteArray("2\r\n");
        QTest::newRow("2.5 half to even")
            << 3 << QByteArray("2.5\r\n") << false << 2 << QByteArray("2\r\n");
        QTest::newRow("3.5 with five voices")
            << 5 << QByteArray("3.5\r\n") << false << 4 << QByteArray("4\r\n");
        QTest::newRow("letters") << 3 << QByteArray("abc\r\n") << false << 0 << QByteArray("0\r\n");
        QTest::newRow("later lines ignored")
            << 3 << QByteArray("1\r\n2\r\n") << false << 1 << QByteArray("1\r\n");
        QTest::newRow("past the last voice")
            << 3 << QByteArray("5\r\n") << true << -1 << QByteArray("5\r\n");
        QTest::newRow("-1 keeps the default voice")
            << 3 << QByteArray("-1\r\n") << false << -1 << QByteArray("-1\r\n");
        QTest::newRow("-2") << 3 << QByteArray("-2\r\n") << true << -1 << QByteArray("-2\r\n");
        QTest::newRow("beyond 16 bits")
            << 3 << QByteArray("70000\r\n") << false << 0 << QByteArray("0\r\n");
        QTest::newRow("binary") << 3 << QByteArray("\x01\xff\x00\x80", 4) << false << 0
                                << QByteArray("0\r\n");
        QTest::newRow("no voice installed")
            << 0 << QByteArray("-") << true << -1 << QByteArray("-");
    }
    void sprecherNr() {
        QFETCH(int, stimmen);
        QFETCH(QByteArray, datei);
        QFETCH(bool, fehler);
        QFETCH(int, zeile);
        QFETCH(QByteArray, danach);
        Pruefstand p(stimmen);
        if (datei != "-") p.dateien.dateien["SprecherNr.txt"] = datei;
        Form1& f = p.Starten();
        QCOMPARE(p.meldung.texte, fehler ? QStringList({SprachFehler}) : QStringList());
        QCOMPARE(f.List_Sprecher->currentRow(), zeile);
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt", "-"), danach);
        QCOMPARE(f.A.SprachAusgabeAn, fehler ? False16 : True16);
        if (!fehler && zeile >= 0) QCOMPARE(p.Stimme()->stimme, zeile);
        // The chosen entry is written exactly once at start-up.
        if (!fehler && zeile >= 0) QCOMPARE(p.dateien.ersetzungen, 1);
        QVERIFY(f.A.Zeitnehmung);
    }

    void sprachSchalter() {
        Pruefstand p;
        Form1& f = p.Starten();
        SetzeWert(f.Check_SprachAusgabe, 0);
        QCOMPARE(f.A.SprachAusgabeAn, False16);
        QCOMPARE(Wert(f.Check_CountDown), 0);
        QVERIFY(!f.Check_CountDown->isEnabled() && !f.List_Sprecher->isEnabled());
        QVERIFY(!f.Command_Zeitansage->isEnabled() && !f.Command_Datumsansage->isEnabled());
        SetzeWert(f.Check_SprachAusgabe, 1);
        QCOMPARE(f.A.SprachAusgabeAn, True16);
        QVERIFY(f.Check_CountDown->isEnabled() && f.List_Sprecher->isEnabled());
        QVERIFY(f.Command_Zeitansage->isEnabled() && f.Command_Datumsansage->isEnabled());
        QCOMPARE(Wert(f.Check_CountDown), 0);  // not ticked again
        // The greyed value counts as off.
        SetzeWert(f.Check_SprachAusgabe, 2);
        QCOMPARE(f.A.SprachAusgabeAn, False16);
    }

    void stimmeWaehlen() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.List_Sprecher->setCurrentRow(1);
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt"), QByteArray("1\r\n"));
        QCOMPARE(p.Stimme()->stimme, 1);
        QCOMPARE(f.A.SprecherNr, 1);
        QCOMPARE(f.List_Sprecher->toolTip(), "Stimme 1");
        // Arrow keys move the selection one step at a time, each step saved.
        f.List_Sprecher->setFocus();
        QTest::keyClick(f.List_Sprecher, Qt::Key_Down);
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt"), QByteArray("2\r\n"));
        QTest::keyClick(f.List_Sprecher, Qt::Key_Up);
        QTest::keyClick(f.List_Sprecher, Qt::Key_Up);
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt"), QByteArray("0\r\n"));
        QCOMPARE(p.Stimme()->stimme, 0);
    }

    // A save that fails keeps the old choice on disk, says so once, and the
    // voice is switched all the same.
    void stimmeSpeichernScheitert() {
        Pruefstand p;
        p.dateien.dateien["SprecherNr.txt"] = "0\r\n";
        Form1& f = p.Starten();
        p.dateien.gesperrt << "SprecherNr.txt";
        f.List_Sprecher->setCurrentRow(1);
        f.List_Sprecher->setCurrentRow(2);
        QCOMPARE(p.meldung.texte, QStringList({"SprecherNr.txt lässt sich nicht speichern"}));
        QCOMPARE(p.dateien.dateien.value("SprecherNr.txt"), QByteArray("0\r\n"));
        QCOMPARE(p.Stimme()->stimme, 2);
    }

    void uhrzeile() {
        Pruefstand p;
        Form1& f = p.Starten();
        p.uhr.Setze(2026, 10, 25, 1, 59, 59, 5);
        f.Timer_Zeitanzeige_Timer();
        QCOMPARE(f.Label_Zeitanzeige->text(), "25.10.2026 01:59:59 MESZ");
        QVERIFY(!f.Label_akti->isHidden());
    }

    void ansagen() {
        Pruefstand p;
        Form1& f = p.Starten();
        p.uhr.Setze(2026, 12, 5, 7, 0, 0);
        bool labelVersteckt = false;
        p.Stimme()->beimSprechen = [&] { labelVersteckt = f.Label_akti->isHidden(); };
        f.Label_akti->setVisible(true);
        f.Command_Datumsansage_Click();
        f.Command_Zeitansage_Click();
        QCOMPARE(p.Stimme()->auftraege.size(), 2);
        QCOMPARE(p.Stimme()->auftraege[0].text, "05.12.2026");
        QCOMPARE(p.Stimme()->auftraege[0].flags, SVSFlagsAsync);
        QCOMPARE(p.Stimme()->auftraege[1].text, "07:00:00");
        QCOMPARE(p.Stimme()->auftraege[1].flags, SVSFDefault);
        QCOMPARE(p.Stimme()->auftraege[1].rate, -5);
        QVERIFY(labelVersteckt);  // hidden while the time is spoken
        QVERIFY(!f.Label_akti->isHidden());
        // A speak request that fails changes nothing else.
        p.Stimme()->sprechenScheitert = true;
        f.Command_Zeitansage_Click();
        QVERIFY(!f.Label_akti->isHidden());
    }

    // "Ansage Zeit" waits for its phrase (here 500 ms) in the event loop: a
    // repaint and a screen reader's query (a call posted to the window's
    // thread, as the accessibility bus delivers it) are served meanwhile; a
    // click, an accessibility action, a clock tick and the end by signal are
    // held and handled after the phrase, in the order they came.
    void warten() {
        Pruefstand p;
        Form1& f = p.Starten();
        SignalEnde ende;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.Timer_Zeitanzeige->Schalten(false);
        f.Label_Zeitanzeige->clear();
        QElapsedTimer uhr;
        bool gesprochen = false;
        p.Stimme()->beimSprechen = [&] {
            QTimer::singleShot(500, [&] { gesprochen = true; });
            uhr.start();
            Warten::Bis([&] { return gesprochen; });
        };
        struct Maler : QObject {
            int n = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                n += e->type() == QEvent::Paint;
                return false;
            }
        } maler;
        f.Label1->installEventFilter(&maler);
        QStringList verlauf;
        auto merken = [&](const QString& wann) {
            verlauf << QStringLiteral("%1: %2 %3 %4 %5 %6")
                           .arg(wann, QApplication::focusWidget()->objectName())
                           .arg(p.Log().count("\r\n"))
                           .arg(f.Label_Zeitpunkt->text(),
                                f.Label_Zeitanzeige->text().isEmpty() ? "-" : "tick")
                           .arg(f.isVisible());
        };
        QTimer::singleShot(50, [&] {
            f.Label1->update();
            QMetaObject::invokeMethod(
                &f, [&] { merken(Zugang(f.Command_Start)->text(QAccessible::Name)); },
                Qt::QueuedConnection);
        });
        QTimer::singleShot(100, [&] {
            QTest::keyClick(f.windowHandle(), Qt::Key_Tab);
            QTest::mouseClick(f.windowHandle(), Qt::LeftButton, {},
                              f.btn_ZeitSpeichern->geometry().center());
            Warten::OderNachher([&] { merken("click"); });
            Zugang(f.Check_Dauer)->actionInterface()->doAction(
                QAccessibleActionInterface::toggleAction());
            Warten::OderNachher([&] { merken("action"); });
            p.uhr.Setze(2026, 12, 5, 10, 0, 0, 850);
            f.Timer_Zeitanzeige->Schalten(true);  // due in 155 ms
        });
        QTimer::singleShot(300, [&] {
            Warten::OderNachher([&] { merken("tick"); });
            ::raise(SIGTERM);
        });
        QTimer::singleShot(450, [&] { merken(maler.n ? "painted" : "not painted"); });
        f.Command_Zeitansage_Click();
        merken("phrase over");
        QVERIFY(uhr.elapsed() >= 500);
        QTRY_VERIFY(!f.isVisible());
        // The Tab moves the focus after the phrase, from "start" to "stop";
        // the click then gives it to "Zeit speichern".
        QCOMPARE(verlauf, QStringList({"Timer Start: Command1 0 Zeitpunkt - 1",
                                       "painted: Command1 0 Zeitpunkt - 1",
                                       "phrase over: Command1 0 Zeitpunkt - 1",
                                       "click: btn_ZeitSpeichern 1 Zeitpunkt - 1",
                                       "action: btn_ZeitSpeichern 1 ZeitDauer - 1",
                                       "tick: btn_ZeitSpeichern 1 ZeitDauer tick 1"}));
    }

    // A stamp is the moment the button went down, however late the press is
    // handled; a press without an input event (a screen reader's action), or
    // one whose time stamp is more than a minute old or not of the input
    // clock, is stamped when handled. Date, time and hundredths agree.
    void stempelZeit_data() {
        QTest::addColumn<QString>("wie");
        QTest::addColumn<qint64>("alter");  // of the press when handled, ms
        QTest::addColumn<QByteArray>("zeile");
        QTest::newRow("mouse, handled 4.2 s late")
            << "Maus" << 4200LL << QByteArray("01 05.12.2026 23:59:58,30");
        QTest::newRow("Enter, across midnight")
            << "Enter" << 2600LL << QByteArray("01 05.12.2026 23:59:59,90");
        QTest::newRow("space bar, a minute old") << "Leertaste" << 60000LL
                                                 << QByteArray("01 05.12.2026 23:59:02,50");
        QTest::newRow("older than a minute")
            << "Maus" << 60001LL << QByteArray("01 06.12.2026 00:00:02,50");
        QTest::newRow("stamped ahead of its handling")
            << "Maus" << -5LL << QByteArray("01 06.12.2026 00:00:02,50");
        QTest::newRow("screen reader's action, no input event")
            << "Aktion" << 0LL << QByteArray("01 06.12.2026 00:00:02,50");
    }
    void stempelZeit() {
        QFETCH(QString, wie);
        QFETCH(qint64, alter);
        QFETCH(QByteArray, zeile);
        Pruefstand p;
        Form1& f = p.Starten();
        p.uhr.Setze(2026, 12, 6, 0, 0, 2, 500);
        QWidget* knopf = f.btn_ZeitSpeichern;
        const quint64 gedrueckt = p.uhr.eingabeUhr - quint64(alter);
        auto senden = [&](QEvent::Type art) {
            if (wie == "Maus") {
                QMouseEvent e(art == QEvent::KeyPress ? QEvent::MouseButtonPress
                                                      : QEvent::MouseButtonRelease,
                              QPointF(5, 5), knopf->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                              art == QEvent::KeyPress ? Qt::LeftButton : Qt::NoButton, {});
                e.setTimestamp(gedrueckt);
                QApplication::sendEvent(knopf, &e);
            } else {
                QKeyEvent e(art, wie == "Enter" ? Qt::Key_Return : Qt::Key_Space, {});
                e.setTimestamp(gedrueckt);
                QApplication::sendEvent(knopf, &e);
            }
        };
        if (wie == "Aktion") {
            Zugang(knopf)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_VERIFY(!p.Log().isEmpty());
        } else {
            senden(QEvent::KeyPress);
            senden(QEvent::KeyRelease);
        }
        QCOMPARE(p.Log(), zeile + "\r\n");
    }

    void zeitStempel() {
        Pruefstand p;
        p.dateien.dateien["zeitnehmung.txt"] = "01 04.12.2026 09:00:00,00\r\n";
        Form1& f = p.Starten();
        p.uhr.Setze(2026, 12, 5, 14, 3, 27, 500);
        f.btn_ZeitSpeichern_Click();
        p.uhr.Setze(2026, 12, 5, 14, 3, 28, 470);
        f.btn_ZeitSpeichern_Click();
        // The press right at a change of second: time and hundredths agree.
        p.uhr.Setze(2026, 12, 5, 14, 3, 28, 999);
        f.btn_ZeitSpeichern_Click();
        QCOMPARE(p.Log(), QByteArray("01 04.12.2026 09:00:00,00\r\n"
                                     "01 05.12.2026 14:03:27,50\r\n"
                                     "02 05.12.2026 14:03:28,47\r\n"
                                     "03 05.12.2026 14:03:28,99\r\n"));
        for (int i = 4; i <= 100; ++i) f.btn_ZeitSpeichern_Click();
        QVERIFY(p.Log().endsWith("\r\n100 05.12.2026 14:03:28,99\r\n"));
        QCOMPARE(p.meldung.texte, QStringList());
    }

    void schliessen() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(f.close());
        QVERIFY(!f.A.Zeitnehmung);
        QVERIFY(!f.Timer_Zeitanzeige->IstAn());
    }
};

QTEST_MAIN(Fenster)
#include "test_fenster.moc"
