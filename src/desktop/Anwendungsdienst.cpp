// SPDX-License-Identifier: GPL-3.0-or-later
#include "Anwendungsdienst.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>

#include "Plattform.h"

namespace {

const QString Name = QStringLiteral("de.tempiro.Tempiro");
const QString Pfad = QStringLiteral("/de/tempiro/Tempiro");
const QString Anwendung = QStringLiteral("org.freedesktop.Application");
// The program's own interface: where the running instance keeps its files.
const QString Eigene = QStringLiteral("de.tempiro.Tempiro");
const QString Fehlername = QStringLiteral("de.tempiro.Tempiro.Fehler");

constexpr qint64 HoechstesAlterUs = 60'000'000;

// Threads still waiting for a bus that does not answer.
std::atomic<int> haengend{0};
// The bus took the connection and did not answer it.
std::atomic<bool> stumm{false};

// Whether the session bus answers at all. Qt's bus library waits for the
// bus's first answer for 25 s and holds its lock meanwhile, so that every
// other use of the bus waits too, the window's screen-reader bridge among
// them. So the first step of a connection is taken here first, bounded: a
// socket to the bus's address and the first line of the authentication,
// which a bus that has stopped never answers. An address of another kind
// than a local socket, or none (the library then looks for one itself),
// counts as answering.
bool BusAntwortet(const QDeadlineTimer& ende) {
    QByteArray adressen = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (adressen.isEmpty()) return true;
    for (const QByteArray& adresse : adressen.split(';')) {
        if (!adresse.startsWith("unix:")) return true;
        sockaddr_un ort{};
        ort.sun_family = AF_UNIX;
        socklen_t laenge = 0;
        for (const QByteArray& teil : adresse.mid(5).split(',')) {
            const QByteArray wert = teil.mid(teil.indexOf('=') + 1);
            const bool abstrakt = teil.startsWith("abstract=");
            if ((!abstrakt && !teil.startsWith("path=")) ||
                size_t(wert.size()) >= sizeof ort.sun_path - 1)
                continue;
            std::memcpy(ort.sun_path + abstrakt, wert.constData(), size_t(wert.size()));
            laenge = socklen_t(offsetof(sockaddr_un, sun_path) + abstrakt + wert.size());
        }
        if (!laenge) return true;
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) return true;
        if (::connect(s, reinterpret_cast<sockaddr*>(&ort), laenge) != 0) {
            ::close(s);
            continue;  // nothing listens there: the library finds that out at once
        }
        const QByteArray anfang = QByteArray(1, '\0') + "AUTH EXTERNAL " +
                                  QByteArray::number(::getuid()).toHex() + "\r\n";
        pollfd warte{s, POLLIN, 0};
        char antwort[64];
        const bool da = ::send(s, anfang.constData(), size_t(anfang.size()), MSG_NOSIGNAL) > 0 &&
                        ::poll(&warte, 1, int(qMax<qint64>(0, ende.remainingTime()))) == 1 &&
                        ::recv(s, antwort, sizeof antwort, 0) > 0;
        ::close(s);
        return da;
    }
    return true;
}

// Runs `arbeit` on a thread of its own and waits at most `frist` for it. A
// thread that has not finished by then is left to itself; until it finishes,
// the bus counts as hung.
template <typename T>
std::optional<T> Begrenzt(std::chrono::milliseconds frist, std::function<T()> arbeit) {
    struct Stand {
        std::mutex m;
        std::condition_variable cv;
        std::optional<T> wert;
        bool fertig = false, verlassen = false;
    };
    auto stand = std::make_shared<Stand>();
    std::thread faden([stand, arbeit = std::move(arbeit)] {
        T wert = arbeit();
        std::lock_guard sperre(stand->m);
        stand->wert = std::move(wert);
        stand->fertig = true;
        if (stand->verlassen) --haengend;
        stand->cv.notify_all();
    });
    std::unique_lock sperre(stand->m);
    if (stand->cv.wait_for(sperre, frist, [&] { return stand->fertig; })) {
        sperre.unlock();
        faden.join();
        return std::move(stand->wert);
    }
    stand->verlassen = true;
    ++haengend;
    faden.detach();
    return std::nullopt;
}

QDBusMessage Aufruf(const QString& schnittstelle, const QString& methode,
                    const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(Name, Pfad, schnittstelle, methode);
    m.setArguments(args);
    return m;
}

// The reply to one ActivateAction, sent once: with the window's answer, or,
// should the request be dropped unanswered (the program ends), with that.
struct Antwort {
    Antwort(const QDBusConnection& b, const QDBusMessage& m) : bus(b), anfrage(m) {}
    Antwort(const Antwort&) = delete;
    QDBusConnection bus;
    QDBusMessage anfrage;
    bool gesendet = false;
    void Senden(const QString& fehler) {
        if (std::exchange(gesendet, true)) return;
        bus.send(fehler.isEmpty() ? anfrage.createReply()
                                  : anfrage.createErrorReply(Fehlername, fehler));
    }
    ~Antwort() { Senden(QStringLiteral("Tempiro wird beendet: Aktion nicht ausgeführt")); }
};

}  // namespace

std::optional<qint64> AnfrageZeit(const QVariantMap& plattformDaten, qint64 jetztUs) {
    const QVariant zeit = plattformDaten.value(QStringLiteral("zeit"));
    qint64 us = 0;
    switch (zeit.typeId()) {
        case QMetaType::Short:
        case QMetaType::Int:
        case QMetaType::LongLong:
            us = zeit.toLongLong();
            break;
        case QMetaType::UChar:
        case QMetaType::UShort:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            if (zeit.toULongLong() > quint64(jetztUs)) return std::nullopt;
            us = qint64(zeit.toULongLong());
            break;
        case QMetaType::Double: {
            const double d = zeit.toDouble();
            if (!(d >= 0 && d <= double(jetztUs))) return std::nullopt;  // NaN too
            us = qint64(d);
            break;
        }
        default:
            return std::nullopt;  // missing, or not a number
    }
    if (us < 0 || us > jetztUs || jetztUs - us > HoechstesAlterUs) return std::nullopt;
    return us;
}

qint64 WandzeitUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<QDBusConnection> SitzungsbusVerbinden(std::chrono::milliseconds frist) {
    const QDeadlineTimer ende(frist);
    if (!BusAntwortet(ende)) {
        stumm = true;
        return std::nullopt;
    }
    std::optional<std::optional<QDBusConnection>> bus = Begrenzt<std::optional<QDBusConnection>>(
        std::chrono::milliseconds(qMax<qint64>(0, ende.remainingTime())),
        []() -> std::optional<QDBusConnection> {
            QDBusConnection b = QDBusConnection::sessionBus();
            if (!b.isConnected()) return std::nullopt;
            return b;
        });
    return bus ? *bus : std::nullopt;
}

bool SitzungsbusStumm() { return stumm.load(); }

qint64 ProzessStartUs() {
    timespec cpu{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) != 0) return WandzeitUs();
    return WandzeitUs() - (qint64(cpu.tv_sec) * 1'000'000 + cpu.tv_nsec / 1000);
}

bool SitzungsbusHaengt() { return haengend.load() > 0; }

// ------------------------------------------------------------------ the running program

Anwendungsdienst::Anwendungsdienst(QString arbeitsordner)
    : arbeitsordner_(std::move(arbeitsordner)) {}

Anwendungsdienst::~Anwendungsdienst() {
    if (bus_) bus_->unregisterObject(Pfad);
}

Anwendungsdienst::Anmeldung Anwendungsdienst::Anmelden(std::chrono::milliseconds frist) {
    const QDeadlineTimer ende(frist);
    bus_ = SitzungsbusVerbinden(frist);
    if (!bus_) return Anmeldung::Allein;
    // The object first, so that a request that comes as soon as the name is
    // ours finds it; it is held until the window is there.
    bus_->registerVirtualObject(Pfad, this, QDBusConnection::SingleNode);
    QDBusConnection bus = *bus_;
    const std::optional<Anmeldung> a = Begrenzt<Anmeldung>(
        std::chrono::milliseconds(qMax<qint64>(0, ende.remainingTime())), [bus]() mutable {
            const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> r =
                bus.interface()->registerService(Name, QDBusConnectionInterface::DontQueueService,
                                                 QDBusConnectionInterface::DontAllowReplacement);
            if (!r.isValid()) return Anmeldung::Allein;
            return r.value() == QDBusConnectionInterface::ServiceRegistered ? Anmeldung::Erste
                                                                            : Anmeldung::Zweite;
        });
    return a.value_or(Anmeldung::Allein);
}

QString Anwendungsdienst::Weiterreichen(const QVariantMap& plattformDaten,
                                        std::chrono::milliseconds frist) {
    if (!bus_) return {};
    const int ms = int(frist.count());
    QDBusPendingCall aktivieren =
        bus_->asyncCall(Aufruf(Anwendung, "Activate", {plattformDaten}), ms);
    QDBusPendingReply<QString> ordner = bus_->asyncCall(Aufruf(Eigene, "Arbeitsordner", {}), ms);
    aktivieren.waitForFinished();
    ordner.waitForFinished();
    return ordner.isValid() ? ordner.value() : QString();
}

void Anwendungsdienst::FensterSetzen(Fenster fenster) {
    fenster_ = std::move(fenster);
    while (!gehalten_.empty()) {
        std::function<void()> schritt = std::move(gehalten_.front());
        gehalten_.pop_front();
        schritt();
    }
}

void Anwendungsdienst::Anfragen(std::function<void()> schritt) {
    if (fenster_ && gehalten_.empty())
        schritt();
    else
        gehalten_.push_back(std::move(schritt));
}

QString Anwendungsdienst::introspect(const QString&) const {
    return QStringLiteral(
        "<interface name=\"org.freedesktop.Application\">"
        "<method name=\"Activate\"><arg type=\"a{sv}\" name=\"platform_data\" "
        "direction=\"in\"/></method>"
        "<method name=\"Open\"><arg type=\"as\" name=\"uris\" direction=\"in\"/>"
        "<arg type=\"s\" name=\"hint\" direction=\"in\"/>"
        "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
        "<method name=\"ActivateAction\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
        "<arg type=\"av\" name=\"parameter\" direction=\"in\"/>"
        "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
        "</interface>"
        "<interface name=\"de.tempiro.Tempiro\">"
        "<method name=\"Arbeitsordner\"><arg type=\"s\" direction=\"out\"/></method>"
        "</interface>");
}

bool Anwendungsdienst::handleMessage(const QDBusMessage& m, const QDBusConnection& bus) {
    const QString methode = m.member();
    const QVariantList args = m.arguments();
    const bool anwendung = m.interface() == Anwendung, eigene = m.interface() == Eigene;
    if (!anwendung && !eigene) return false;  // introspection, properties, peer
    const auto fehler = [&](QDBusError::ErrorType art, const QString& text) {
        bus.send(m.createErrorReply(art, text));
        return true;
    };
    static const QHash<QString, QString> signaturen = {
        {QStringLiteral("Activate"), QStringLiteral("a{sv}")},
        {QStringLiteral("Open"), QStringLiteral("assa{sv}")},
        {QStringLiteral("ActivateAction"), QStringLiteral("sava{sv}")},
        {QStringLiteral("Arbeitsordner"), QString()}};
    if (!signaturen.contains(methode) || anwendung == (methode == u"Arbeitsordner"))
        return fehler(QDBusError::UnknownMethod,
                      QStringLiteral("Unbekannte Methode %1").arg(methode));
    if (m.signature() != signaturen.value(methode))
        return fehler(QDBusError::InvalidArgs,
                      QStringLiteral("%1 erwartet (%2), nicht (%3)")
                          .arg(methode, signaturen.value(methode), m.signature()));

    if (methode == u"Arbeitsordner") {
        bus.send(m.createReply(arbeitsordner_));
        return true;
    }
    const QVariantMap daten = qdbus_cast<QVariantMap>(args.last());
    if (methode != u"ActivateAction") {  // Open does what Activate does
        bus.send(m.createReply());
        Anfragen([this, daten] { fenster_->aktivieren(daten); });
        return true;
    }
    // A menu entry's action started with launch feedback ends it here.
    StartAbschliessen(daten.value(QStringLiteral("desktop-startup-id")).toString());
    const QString name = args.at(0).toString();
    const std::optional<Aktion> aktion = AktionAusName(name);
    if (!aktion)
        return fehler(QDBusError::InvalidArgs, QStringLiteral("Unbekannte Aktion „%1“").arg(name));
    if (!qdbus_cast<QVariantList>(args.at(1)).isEmpty())
        return fehler(QDBusError::InvalidArgs,
                      QStringLiteral("Die Aktion „%1“ nimmt keinen Parameter").arg(name));
    // The age is that at the arrival, so a request held behind "Ansage Zeit"
    // or a message box keeps its instant.
    const std::optional<qint64> zeit = AnfrageZeit(daten, WandzeitUs());
    auto antwort = std::make_shared<Antwort>(bus, m);
    Anfragen([this, a = *aktion, zeit, antwort] {
        fenster_->ausfuehren(a, zeit, [antwort](const QString& f) { antwort->Senden(f); });
    });
    return true;
}

// ------------------------------------------------------------------ the command line's side

Rueckmeldung AktionUebergeben(Aktion aktion, qint64 zeitUs, const QVariantMap& startDaten,
                              const QString& programm) {
    const Rueckmeldung ohneBus{1,
                               QStringLiteral("Keine Sitzungsverbindung: Aktion nicht ausgeführt")};
    const std::optional<QDBusConnection> bus = SitzungsbusVerbinden(std::chrono::seconds(1));
    if (!bus) return ohneBus;
    const auto laeuft = [&]() -> std::optional<bool> {
        QDBusMessage frage = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        frage << Name;
        const QDBusMessage r = bus->call(frage, QDBus::Block, 1000);
        if (r.type() != QDBusMessage::ReplyMessage) return std::nullopt;
        return r.arguments().value(0).toBool();
    };
    std::optional<bool> da = laeuft();
    if (!da) return ohneBus;
    if (!*da) {
        // No clock runs: one is started here, in this directory, as a start
        // from the menu or a terminal would, and takes the action once its
        // name is on the bus.
        const Rueckmeldung nichtGestartet{
            1, QStringLiteral("Tempiro ließ sich nicht starten: Aktion nicht ausgeführt")};
        qint64 pid = 0;
        if (!QProcess::startDetached(programm, {}, QString(), &pid)) return nichtGestartet;
        const QDeadlineTimer ende(std::chrono::seconds(20));
        while (!(da = laeuft()).value_or(false)) {
            if (ende.hasExpired() || ::kill(pid_t(pid), 0) != 0) return nichtGestartet;
            QThread::msleep(20);
        }
    }
    QVariantMap daten = startDaten;
    daten.insert(QStringLiteral("zeit"), zeitUs);
    QString name;
    for (const AktionsEintrag& e : AktionsTabelle)
        if (e.aktion == aktion) name = QString::fromUtf16(e.name);
    const QDBusMessage r = bus->call(
        Aufruf(Anwendung, QStringLiteral("ActivateAction"), {name, QVariantList(), daten}),
        QDBus::Block, 20000);
    if (r.type() == QDBusMessage::ReplyMessage) return {};
    if (r.errorName() == u"org.freedesktop.DBus.Error.NoReply")
        return {1, QStringLiteral("Tempiro antwortet nicht: Aktion nicht ausgeführt")};
    return {1, r.errorMessage().isEmpty() ? r.errorName() : r.errorMessage()};
}
