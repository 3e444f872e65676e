// SPDX-License-Identifier: GPL-3.0-or-later
#include "SitzungWachHalter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <QVariantMap>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <limits>
#include <list>
#include <memory>
#include <optional>

#include "Plattform.h"

namespace {

const QString AppId = QStringLiteral("de.tempiro.Tempiro");
const QString Grund = QStringLiteral("Countdown läuft");

const QString PortalDienst = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPfad = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalAnfrage = QStringLiteral("org.freedesktop.portal.Request");

// The services that hand out a cookie for a hold and take it back to release it.
struct CookieDienst {
    QString name, pfad, schnittstelle, freigabe;
};
const CookieDienst SitzungsVerwaltung{
    QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
    QStringLiteral("org.gnome.SessionManager"), QStringLiteral("Uninhibit")};
const CookieDienst Bildschirmschoner{
    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit")};
const CookieDienst Energieverwaltung{QStringLiteral("org.freedesktop.PowerManagement"),
                                     QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
                                     QStringLiteral("org.freedesktop.PowerManagement.Inhibit"),
                                     QStringLiteral("UnInhibit")};

// Inhibit flags of the session manager and the portal: suspend and idle.
// Logout and user switch stay free.
constexpr uint SperreBereitschaft = 4;
constexpr uint SperreLeerlauf = 8;

// An Inhibit call waits for its answer as long as it takes, so that a hold
// granted late is still known and can be released.
constexpr int OhneFrist = std::numeric_limits<int>::max();
// A release may wait this long for its answer; a portal request whose Close
// failed before its answer came is closed again after this long at the latest.
constexpr int AbmeldeFristMs = 1000;
constexpr int WiederholFristMs = 5000;
// The window's thread waits this long for the service's thread at the end.
constexpr int EndeFristMs = 1500;

std::atomic<bool> busHaengt{false};

// The X11 id of the program's main window; 0 on Wayland, where there is none.
uint FensterKennung() {
    if (QGuiApplication::platformName() != u"xcb") return 0;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->type() == Qt::Window && w->isVisible()) return uint(w->winId());
    return 0;
}

}  // namespace

// Everything on the service's own thread: the connection, the requests and
// their answers. Each countdown asks the services in order: a service that
// refuses, or has not granted a hold within the deadline, is followed by the
// next. Every hold asked for is kept track of until it is released or known
// never to have been granted. A countdown keeps the hold of the first service
// in the order that granted one, also when it came late, and every other is
// released at once; so is a hold granted after its countdown ended.
class WachHalterArbeit : public QObject {
    Q_OBJECT

public:
    explicit WachHalterArbeit(int fristMs) : frist_(fristMs) {}

    void Setze(bool laeuft, uint fenster) {
        soll_ = laeuft;
        if (laeuft) {
            ++lauf_;
            fenster_ = fenster;
            kette_ = ImSandkasten() ? QList<Art>{Art::Portal, Art::Schoner}
                                    : QList<Art>{Art::Sitzung, Art::Portal, Art::Schoner};
            schritt_ = 0;
            gefragt_ = false;
        }
        Weiter();
    }

    // Program end: release what is held, close what is asked, and wait a
    // bounded time for the answers still to come, releasing what they grant,
    // so the releases have left before the process ends.
    void Ende() {
        QEventLoop schleife;
        ende_ = &schleife;
        QTimer::singleShot(AbmeldeFristMs, &schleife, &QEventLoop::quit);
        soll_ = false;
        Weiter();
        if (!halte_.empty() || !freigaben_.isEmpty()) schleife.exec();
        ende_ = nullptr;
        thread()->quit();
    }

private slots:
    // A portal request's answer: 0 granted, anything else nothing held.
    void Antwort(const QDBusMessage& m) {
        for (const auto& h : halte_) {
            if (h->art != Art::Portal || h->pfad != m.path() || h->response) continue;
            h->response = true;
            h->wartet = false;  // a Close that failed before goes again now
            // Granted only by a response code 0 as the portal sends it, (u a{sv}):
            // a Response without its arguments, or of another kind, holds nothing.
            if (m.signature().startsWith(u'u') && m.arguments().value(0).toUInt() == 0)
                h->gewaehrt = true;
            else
                h->erledigt = true;
        }
        Weiter();
    }

private:
    enum class Art { Sitzung, Portal, Schoner, Energie };

    struct Halt {
        Art art = Art::Sitzung;
        int lauf = 0;           // the countdown it was asked for
        qsizetype schritt = 0;  // the place of its service in that countdown's order
        bool gewaehrt = false;  // the service holds the session for it
        bool erledigt = false;  // nothing held, nothing left to do
        uint cookie = 0;
        QString pfad;            // portal: the request
        bool response = false;   // portal: its Response came
        bool schliesst = false;  // portal: a Close is under way
        bool wartet = false;     // portal: a failed Close waits to be tried again
    };
    using HaltPtr = std::shared_ptr<Halt>;

    QDBusConnection& Bus() {
        // The first use connects, unless the window toolkit already did. On a
        // bus that takes the connection and never answers, this waits for good.
        if (!bus_) bus_.emplace(QDBusConnection::sessionBus());
        return *bus_;
    }

    void Weiter() {
        // The first service in the order that holds the session for the
        // running countdown; the services after it, and those asked for an
        // earlier countdown, are released.
        qsizetype bester = kette_.size();
        for (const auto& h : halte_)
            if (soll_ && h->lauf == lauf_ && h->gewaehrt) bester = std::min(bester, h->schritt);
        for (auto it = halte_.begin(); it != halte_.end();) {
            const HaltPtr h = *it;
            if (!soll_ || h->lauf != lauf_ || h->schritt > bester) Loslassen(h);
            if (h->erledigt) {
                if (h->art == Art::Portal) AntwortAbbestellen(h->pfad);
                it = halte_.erase(it);
            } else {
                ++it;
            }
        }
        if (ende_ && halte_.empty() && freigaben_.isEmpty()) ende_->quit();
        if (!soll_ || bester < kette_.size()) return;
        while (schritt_ < kette_.size()) {
            if (gefragt_) {
                const bool offen =
                    std::any_of(halte_.begin(), halte_.end(), [this](const HaltPtr& h) {
                        return h->lauf == lauf_ && h->schritt == schritt_;
                    });
                if (offen && !fristAus_) return;  // its answer comes back here
                ++schritt_;                       // refused, or too slow: the next service
            }
            gefragt_ = true;
            fristAus_ = false;
            if (schritt_ < kette_.size()) Fragen(kette_[schritt_]);
        }
    }

    void Fragen(Art art) {
        if (!Bus().isConnected()) return;
        QTimer::singleShot(frist_, this, [this, lauf = lauf_, schritt = schritt_] {
            if (lauf != lauf_ || schritt != schritt_) return;
            fristAus_ = true;
            Weiter();
        });
        const uint flags = SperreBereitschaft | SperreLeerlauf;
        if (art == Art::Sitzung) {
            QDBusMessage m = Aufruf(SitzungsVerwaltung, QStringLiteral("Inhibit"));
            m << AppId << fenster_ << Grund << flags;
            Anfragen(Art::Sitzung, m);
        } else if (art == Art::Portal) {
            // The portal names the request after the caller's unique bus name
            // and this token, so its path is known before the answer: its
            // Response is listened for before it can come, and a request
            // whose answer has not come can still be closed.
            const QString token = QStringLiteral("tempiro%1").arg(++nummer_);
            const QString pfad =
                QStringLiteral("%1/request/%2/%3")
                    .arg(PortalPfad, Bus().baseService().mid(1).replace(u'.', u'_'), token);
            AntwortBestellen(pfad);
            QDBusMessage m = QDBusMessage::createMethodCall(
                PortalDienst, PortalPfad, QStringLiteral("org.freedesktop.portal.Inhibit"),
                QStringLiteral("Inhibit"));
            m << (fenster_ ? QStringLiteral("x11:%1").arg(fenster_, 0, 16) : QString()) << flags
              << QVariantMap{{QStringLiteral("reason"), Grund},
                             {QStringLiteral("handle_token"), token}};
            Anfragen(Art::Portal, m)->pfad = pfad;
        } else {
            // The screen saver holds idle only; suspend is held by the power
            // management service, where the desktop has one.
            QDBusMessage m = Aufruf(Bildschirmschoner, QStringLiteral("Inhibit"));
            m << AppId << Grund;
            Anfragen(Art::Schoner, m);
            m = Aufruf(Energieverwaltung, QStringLiteral("Inhibit"));
            m << AppId << Grund;
            Anfragen(Art::Energie, m);
        }
    }

    static QDBusMessage Aufruf(const CookieDienst& d, const QString& methode) {
        return QDBusMessage::createMethodCall(d.name, d.pfad, d.schnittstelle, methode);
    }

    static const CookieDienst& DienstVon(Art art) {
        return art == Art::Sitzung   ? SitzungsVerwaltung
               : art == Art::Schoner ? Bildschirmschoner
                                     : Energieverwaltung;
    }

    HaltPtr Anfragen(Art art, const QDBusMessage& m) {
        auto h = std::make_shared<Halt>();
        h->art = art;
        h->lauf = lauf_;
        h->schritt = schritt_;
        halte_.push_back(h);
        auto* w = new QDBusPendingCallWatcher(Bus().asyncCall(m, OhneFrist), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, h] {
            w->deleteLater();
            const QDBusMessage a = w->reply();
            // A reply of the wrong kind (no cookie, no request path) is a refusal.
            const QString art = h->art == Art::Portal ? QStringLiteral("o") : QStringLiteral("u");
            if (a.type() != QDBusMessage::ReplyMessage || a.signature() != art) {
                h->erledigt = true;  // refused: nothing held
            } else if (h->art == Art::Portal) {
                // Held once its Response says so. A portal that ignored the
                // token named the request itself.
                const QString pfad = a.arguments().value(0).value<QDBusObjectPath>().path();
                if (!pfad.isEmpty() && pfad != h->pfad) {
                    AntwortAbbestellen(h->pfad);
                    h->pfad = pfad;
                    AntwortBestellen(pfad);
                }
            } else {
                h->cookie = a.arguments().value(0).toUInt();
                h->gewaehrt = true;
            }
            Weiter();
        });
        return h;
    }

    // A hold no longer wanted: released where it is granted; a portal request
    // is closed whether or not it has been answered. Everything else waits for
    // its answer, which brings it back here.
    void Loslassen(const HaltPtr& h) {
        if (h->erledigt) return;
        if (h->art != Art::Portal) {
            if (!h->gewaehrt) return;
            QDBusMessage m = Aufruf(DienstVon(h->art), DienstVon(h->art).freigabe);
            m << h->cookie;
            Abschicken(m);
            h->erledigt = true;
            return;
        }
        if (h->schliesst || h->wartet) return;
        // The frontend hands out the request's path before the request
        // exists, so an early Close can fail although the hold comes
        // afterwards: then it is closed again when its Response comes, and
        // every few seconds while none does.
        h->schliesst = true;
        const bool antwortDa = h->response;
        const QDBusPendingCall c = Abschicken(QDBusMessage::createMethodCall(
            PortalDienst, h->pfad, PortalAnfrage, QStringLiteral("Close")));
        auto* w = new QDBusPendingCallWatcher(c, this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, h, antwortDa] {
            w->deleteLater();
            h->schliesst = false;
            const QDBusMessage a = w->reply();
            const QString fehler = a.errorName();
            if (a.type() == QDBusMessage::ReplyMessage ||
                (antwortDa && fehler != u"org.freedesktop.DBus.Error.NoReply") ||
                fehler == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
                fehler == u"org.freedesktop.DBus.Error.NameHasNoOwner") {
                h->erledigt = true;  // closed, or gone with its answer or its portal
            } else if (!h->response) {
                h->wartet = true;
                QTimer::singleShot(WiederholFristMs, this, [this, h] {
                    h->wartet = false;
                    Weiter();
                });
            }
            Weiter();
        });
    }

    void AntwortBestellen(const QString& pfad) {
        Bus().connect(QString(), pfad, PortalAnfrage, QStringLiteral("Response"), this,
                      SLOT(Antwort(QDBusMessage)));
    }
    void AntwortAbbestellen(const QString& pfad) {
        Bus().disconnect(QString(), pfad, PortalAnfrage, QStringLiteral("Response"), this,
                         SLOT(Antwort(QDBusMessage)));
    }

    // A release: only the program's end waits for its answer.
    QDBusPendingCall Abschicken(const QDBusMessage& m) {
        const QDBusPendingCall c = Bus().asyncCall(m, AbmeldeFristMs);
        freigaben_.append(c);
        auto* w = new QDBusPendingCallWatcher(c, this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, w] {
            w->deleteLater();
            freigaben_.removeIf([](const QDBusPendingCall& c) { return c.isFinished(); });
            Weiter();
        });
        return c;
    }

    const int frist_;
    std::optional<QDBusConnection> bus_;
    bool soll_ = false;      // a countdown runs
    int lauf_ = 0;           // the countdowns so far
    uint fenster_ = 0;       // the running countdown's window
    QList<Art> kette_;       // the services to ask, in order
    qsizetype schritt_ = 0;  // the one asked now
    bool gefragt_ = false;   // the service of that place has been asked
    bool fristAus_ = false;  // and has not granted a hold in time
    std::list<HaltPtr> halte_;
    int nummer_ = 0;
    QList<QDBusPendingCall> freigaben_;
    QEventLoop* ende_ = nullptr;  // the program's end waits in it
};

SitzungWachHalter::SitzungWachHalter(std::chrono::milliseconds frist) : frist_(frist) {}

SitzungWachHalter::~SitzungWachHalter() {
    if (!faden_) return;
    QMetaObject::invokeMethod(
        arbeit_, [a = arbeit_] { a->Ende(); }, Qt::QueuedConnection);
    if (faden_->wait(QDeadlineTimer(EndeFristMs))) {
        delete arbeit_;
        return;
    }
    // Stuck in the connection hand-shake: a running thread must not be
    // destroyed, so it and its work are left to the end of the process.
    busHaengt = true;
    (void)faden_.release();
}

void SitzungWachHalter::CountdownGeschaltet(bool laeuft) {
    if (!faden_) {
        if (!laeuft) return;  // nothing was ever held
        faden_ = std::make_unique<QThread>();
        faden_->setObjectName(QStringLiteral("tempiro-wach"));
        arbeit_ = new WachHalterArbeit(int(frist_.count()));
        arbeit_->moveToThread(faden_.get());
        faden_->start();
    }
    const uint fenster = laeuft ? FensterKennung() : 0;
    QMetaObject::invokeMethod(
        arbeit_, [a = arbeit_, laeuft, fenster] { a->Setze(laeuft, fenster); },
        Qt::QueuedConnection);
}

bool SitzungWachHalter::BusHaengt() { return busHaengt; }

#include "SitzungWachHalter.moc"
