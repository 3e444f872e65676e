// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SitzungWachHalter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QThread>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <optional>

namespace {

const QString PortalDienst = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPfad = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PortalAnfrage = QStringLiteral("org.freedesktop.portal.Request");
const QString SchonerDienst = QStringLiteral("org.freedesktop.ScreenSaver");
const QString SchonerPfad = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString Grund = QStringLiteral("Countdown läuft");
const QString KeineAntwort = QStringLiteral("org.freedesktop.DBus.Error.NoReply");

// Inhibit flags of the portal: suspend and idle. Logout and user switch stay free.
constexpr uint SperreSuspend = 4;
constexpr uint SperreLeerlauf = 8;

// A release may wait this long for its answer at program end, and the window's
// thread this long for the service's thread to finish that.
constexpr int AbmeldeFristMs = 1000;
constexpr int EndeFristMs = 1500;

std::atomic<bool> busHaengt{false};

QDBusMessage Schliessen(const QString& anfrage) {
    return QDBusMessage::createMethodCall(PortalDienst, anfrage, PortalAnfrage,
                                          QStringLiteral("Close"));
}

}  // namespace

// Everything on the service's own thread: the connection, the requests and
// their answers. One request for a hold is under way at a time; what the
// countdown wants meanwhile is kept and acted on when its answer has come, so
// a hold granted after the countdown ended is released at once.
class WachHalterArbeit : public QObject {
public:
    explicit WachHalterArbeit(int fristMs) : frist_(fristMs) {}

    void Setze(bool laeuft) {
        soll_ = laeuft;
        // A new countdown asks again, even when nobody answered the last one.
        if (laeuft) aufgegeben_ = false;
        Weiter();
    }

    // Program end: release what is held and wait a bounded time for the
    // answers, so the release has left before the process ends.
    void Ende() {
        soll_ = false;
        // A portal request whose answer has not come is closed by the path it will have.
        if (wartet_ == Art::Portal) Abschicken(Schliessen(pfad_));
        if (haelt_ != Art::Keine) Freigeben();
        for (QDBusPendingCall& freigabe : freigaben_) freigabe.waitForFinished();
        freigaben_.clear();
        thread()->quit();
    }

private:
    enum class Art { Keine, Portal, Bildschirmschoner };

    QDBusConnection& Bus() {
        // The first use connects, unless the window toolkit already did. On a
        // bus that takes the connection and never answers, this waits for good.
        if (!bus_) bus_.emplace(QDBusConnection::sessionBus());
        return *bus_;
    }

    void Weiter() {
        if (wartet_ != Art::Keine) return;  // its answer comes back here
        if (soll_ && haelt_ == Art::Keine && !aufgegeben_) {
            PortalFragen();
        } else if (!soll_ && haelt_ != Art::Keine) {
            Freigeben();
        }
    }

    void PortalFragen() {
        QDBusConnection& bus = Bus();
        if (!bus.isConnected()) {
            aufgegeben_ = true;
            return;
        }
        // The portal names the request after the caller's unique bus name and
        // this token, so its path is known before the answer and a request
        // whose answer never came can still be closed.
        const QString token = QStringLiteral("tempiro%1").arg(++nummer_);
        pfad_ = QStringLiteral("%1/request/%2/%3")
                    .arg(PortalPfad, bus.baseService().mid(1).replace(u'.', u'_'), token);
        QDBusMessage m = QDBusMessage::createMethodCall(PortalDienst, PortalPfad, PortalInhibit,
                                                        QStringLiteral("Inhibit"));
        m << QString() << uint(SperreSuspend | SperreLeerlauf)
          << QVariantMap{{QStringLiteral("reason"), Grund},
                         {QStringLiteral("handle_token"), token}};
        Fragen(m, Art::Portal, [this](const QDBusMessage& antwort) {
            if (antwort.type() == QDBusMessage::ReplyMessage && antwort.signature() == u"o") {
                pfad_ = antwort.arguments().constFirst().value<QDBusObjectPath>().path();
                haelt_ = Art::Portal;
            } else {
                // Without an answer the portal may still grant the hold later.
                if (antwort.errorName() == KeineAntwort) Abschicken(Schliessen(pfad_));
                if (soll_) {
                    SchonerFragen();
                    return;
                }
            }
            Weiter();
        });
    }

    void SchonerFragen() {
        QDBusMessage m = QDBusMessage::createMethodCall(SchonerDienst, SchonerPfad, SchonerDienst,
                                                        QStringLiteral("Inhibit"));
        m << QStringLiteral("Tempiro") << Grund;
        Fragen(m, Art::Bildschirmschoner, [this](const QDBusMessage& antwort) {
            if (antwort.type() == QDBusMessage::ReplyMessage && antwort.signature() == u"u") {
                cookie_ = antwort.arguments().constFirst().toUInt();
                haelt_ = Art::Bildschirmschoner;
            } else {
                aufgegeben_ = true;  // nobody holds the session for this countdown
            }
            Weiter();
        });
    }

    void Fragen(const QDBusMessage& m, Art art, std::function<void(const QDBusMessage&)> weiter) {
        wartet_ = art;
        auto* w = new QDBusPendingCallWatcher(Bus().asyncCall(m, frist_), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, weiter = std::move(weiter)] {
            w->deleteLater();
            wartet_ = Art::Keine;
            weiter(w->reply());
        });
    }

    void Freigeben() {
        if (haelt_ == Art::Portal) {
            Abschicken(Schliessen(pfad_));
        } else {
            QDBusMessage m = QDBusMessage::createMethodCall(
                SchonerDienst, SchonerPfad, SchonerDienst, QStringLiteral("UnInhibit"));
            m << cookie_;
            Abschicken(m);
        }
        haelt_ = Art::Keine;
    }

    // A release: nothing waits for its answer until the program ends.
    void Abschicken(const QDBusMessage& m) {
        freigaben_.removeIf([](const QDBusPendingCall& c) { return c.isFinished(); });
        freigaben_.append(Bus().asyncCall(m, AbmeldeFristMs));
    }

    const int frist_;
    std::optional<QDBusConnection> bus_;
    bool soll_ = false;        // a countdown runs
    bool aufgegeben_ = false;  // no service granted a hold for this countdown
    Art wartet_ = Art::Keine;  // the request under way
    Art haelt_ = Art::Keine;   // the hold in place
    QString pfad_;             // the portal request: granted, or asked for
    uint cookie_ = 0;          // the screen saver's hold
    int nummer_ = 0;
    QList<QDBusPendingCall> freigaben_;
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

void SitzungWachHalter::CountdownLaeuft(bool laeuft) {
    if (!faden_) {
        if (!laeuft) return;  // nothing was ever held
        faden_ = std::make_unique<QThread>();
        faden_->setObjectName(QStringLiteral("tempiro-wach"));
        arbeit_ = new WachHalterArbeit(int(frist_.count()));
        arbeit_->moveToThread(faden_.get());
        faden_->start();
    }
    QMetaObject::invokeMethod(
        arbeit_, [a = arbeit_, laeuft] { a->Setze(laeuft); }, Qt::QueuedConnection);
}

bool SitzungWachHalter::BusHaengt() { return busHaengt; }
