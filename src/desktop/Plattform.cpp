// SPDX-License-Identifier: GPL-3.0-or-later
#include "Plattform.h"

#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <cstdlib>
#include <cstring>

#include "SignalEnde.h"

// ------------------------------------------------------------------ clock

UhrLesung UhrLesungAus(const QDateTime& t) {
    UhrLesung l;
    const QDate d = t.date();
    const QTime z = t.time();
    // Fixed forms, whatever the process locale says: the summer-time rule and
    // the countdown read fixed character positions.
    l.datum = QString::asprintf("%02d.%02d.%04d", d.day(), d.month(), d.year());
    l.zeit = QString::asprintf("%02d:%02d:%02d", z.hour(), z.minute(), z.second());
    l.wochentag = d.dayOfWeek() % 7 + 1;  // Qt: Monday 1 .. Sunday 7
    l.sekunden = z.msecsSinceStartOfDay() / 1000.0;
    l.wann = Zeitpunkt(std::chrono::milliseconds(t.toMSecsSinceEpoch()));
    return l;
}

UhrLesung SystemUhr::Lesen() { return UhrLesungAus(QDateTime::currentDateTime()); }

UhrLesung SystemUhr::LesenZu(quint64 eingabeZeit) {
    // The X server and the Wayland compositors stamp input events with the
    // monotonic clock in milliseconds, cut to 32 bits; the age of an event is
    // the difference, taken in those 32 bits. A stamp from another clock
    // gives an age outside the minute and is not used.
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    const QDateTime jetzt = QDateTime::currentDateTime();
    const quint32 jetztMs = quint32(quint64(t.tv_sec) * 1000 + quint64(t.tv_nsec) / 1000000);
    const quint32 alter = jetztMs - quint32(eingabeZeit);
    return UhrLesungAus(alter <= 60000 ? jetzt.addMSecs(-qint64(alter)) : jetzt);
}

UhrLesung SystemUhr::LesenUm(qint64 wandzeitUs) {
    // Cut to the millisecond, so the hundredths are those of the instant.
    return UhrLesungAus(QDateTime::fromMSecsSinceEpoch(wandzeitUs / 1000));
}

// ------------------------------------------------------------------ files

namespace {

class DateiStrom : public ITextStream {
public:
    explicit DateiStrom(std::unique_ptr<QFile> datei) : datei_(std::move(datei)) {}
    ~DateiStrom() override { Close(); }

    bool AtEndOfStream() override { return !datei_ || datei_->atEnd(); }

    bool ReadLine(QByteArray& zeile) override {
        if (!datei_ || datei_->atEnd()) return false;
        zeile = datei_->readLine();
        if (zeile.endsWith('\n')) zeile.chop(1);
        if (zeile.endsWith('\r')) zeile.chop(1);
        return true;
    }

    bool WriteLine(const QByteArray& text) override {
        if (!datei_) return false;
        const QByteArray zeile = text + "\r\n";
        const qint64 vorher = datei_->size();
        // On disk when the press returns: a process killed right after it, or
        // a power cut a moment later, keeps the line.
        if (datei_->write(zeile) == zeile.size() && ::fdatasync(datei_->handle()) == 0) return true;
        // A line that did not fit (a full disk) must not stay behind as a
        // fragment that the next line would be glued to: cut it off again.
        datei_->resize(vorher);
        return false;
    }

    void Close() override {
        if (datei_) datei_->close();
        datei_.reset();
    }

private:
    std::unique_ptr<QFile> datei_;
};

}  // namespace

std::unique_ptr<ITextStream> DateiDienst::OpenTextFile(const QString& name, IoModus modus,
                                                       bool create) {
    auto datei = std::make_unique<QFile>(name);
    if (QFileInfo(name).isDir()) return nullptr;
    if (modus == IoModus::ForReading) {
        if (!datei->open(QIODevice::ReadOnly)) return nullptr;
    } else {
        if (!create && !datei->exists()) return nullptr;
        // Unbuffered: a write that fails leaves nothing waiting in a buffer
        // that a later write would carry into the file after all.
        if (!datei->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return nullptr;
    }
    return std::make_unique<DateiStrom>(std::move(datei));
}

bool DateiDienst::ErsetzeDatei(const QString& name, const QByteArray& inhalt) {
    const QFileInfo info(name);
    if (info.isDir()) return false;
    // A write-protected old file is replaced all the same, like a forced delete.
    if (info.exists() && !info.isWritable())
        QFile::setPermissions(name, QFile::permissions(name) | QFileDevice::WriteOwner);
    QSaveFile datei(name);
    if (!datei.open(QIODevice::WriteOnly)) return false;
    if (datei.write(inhalt) != inhalt.size()) {
        datei.cancelWriting();
        return false;
    }
    return datei.commit();
}

// ------------------------------------------------------------------ the desktop

bool ImSandkasten() {
    return QFile::exists(QStringLiteral("/.flatpak-info")) || qEnvironmentVariableIsSet("SNAP");
}

// Ends the launch feedback (the busy pointer, the entry in the task bar) the
// desktop shows for a start that opens no window of its own: the freedesktop
// startup notification's "remove" message, sent to the root window in pieces
// of 20 bytes, the first as _NET_STARTUP_INFO_BEGIN. X11 only.
void StartAbschliessen(const QString& startId) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || startId.isEmpty()) return;
    xcb_connection_t* c = x11->connection();
    const auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, false, uint16_t(qstrlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    QByteArray id = startId.toUtf8();
    id.replace("\\", "\\\\").replace("\"", "\\\"");
    const QByteArray text = "remove: ID=\"" + id + "\"";
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 8;
    e.window = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    e.type = atom("_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t weiter = atom("_NET_STARTUP_INFO");
    // The text with its terminating zero byte.
    for (qsizetype von = 0; von <= text.size(); von += 20) {
        std::memset(e.data.data8, 0, sizeof e.data.data8);
        std::memcpy(e.data.data8, text.constData() + von,
                    size_t(qMin<qsizetype>(20, text.size() + 1 - von)));
        xcb_send_event(c, false, e.window, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&e));
        e.type = weiter;
    }
    xcb_flush(c);
}

void FensterHervorholen(QWidget* fenster, const QVariantMap& plattformDaten) {
    // Qt's Wayland window takes the token from the environment when it asks
    // the compositor for the focus.
    const QString token = plattformDaten.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    StartAbschliessen(plattformDaten.value(QStringLiteral("desktop-startup-id")).toString());
    if (fenster->isMinimized())
        fenster->setWindowState(fenster->windowState() & ~Qt::WindowMinimized);
    fenster->show();
    fenster->raise();
    fenster->activateWindow();
}

// ------------------------------------------------------------------ message box

namespace {

// The program's window once it is up (a plain window, not a box, pop-up list
// or tooltip); none while start-up still runs. The active window is no guide:
// a window without focus, or one on a compositor that does not say which
// window is active, would leave the box without a parent, and it would come up
// anywhere instead of over the window.
QWidget* OffenesFenster() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::Window) return w;
    return nullptr;
}

}  // namespace

void Meldungsfenster::MsgBox(const QString& text) {
    if (SignalEnde::Angefordert()) return;  // the program is ending
    // A message box is read by a screen reader as an alert with its text.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tempiro"), text, QMessageBox::Ok,
                    OffenesFenster());
    // A plain OK, without the check mark some styles put on dialog buttons.
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}
