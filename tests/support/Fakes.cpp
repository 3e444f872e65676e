// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

#include "app/Plattform.h"

#include <QFile>

// ------------------------------------------------------------------ clock

FakeUhr::FakeUhr() { Setze(2026, 12, 5, 10, 0, 0); }

void FakeUhr::Setze(const QDateTime& lokal) { jetzt_ = lokal; }

void FakeUhr::Setze(int jahr, int monat, int tag, int stunde, int minute, int sekunde, int ms) {
    jetzt_ = QDateTime(QDate(jahr, monat, tag), QTime(stunde, minute, sekunde, ms), Qt::UTC);
}

void FakeUhr::Weiter(qint64 ms) {
    jetzt_ = jetzt_.addMSecs(ms);
    eingabeUhr += quint64(ms);
}

UhrLesung FakeUhr::LesenZu(quint64 eingabeZeit) {
    const quint64 alter = eingabeUhr - eingabeZeit;
    return UhrLesungAus(alter <= 60000 ? jetzt_.addMSecs(-qint64(alter)) : jetzt_);
}

UhrLesung FakeUhr::Lesen() {
    ++lesungen;
    return UhrLesungAus(jetzt_);
}

// ------------------------------------------------------------------ files

namespace {

class FakeStrom : public ITextStream {
public:
    FakeStrom(FakeDateisystem& fs, QString name, bool lesen)
        : fs_(fs), name_(std::move(name)), lesen_(lesen) {}
    bool AtEndOfStream() override { return !offen_ || pos_ >= Inhalt().size(); }
    bool ReadLine(QByteArray& zeile) override {
        if (!offen_ || !lesen_ || AtEndOfStream()) return false;
        const QByteArray& d = Inhalt();
        qsizetype ende = d.indexOf('\n', pos_);
        if (ende < 0) ende = d.size();
        zeile = d.mid(pos_, ende - pos_);
        if (zeile.endsWith('\r')) zeile.chop(1);
        pos_ = ende + 1;
        return true;
    }
    bool WriteLine(const QByteArray& text) override {
        if (!offen_ || lesen_ || fs_.schreibfehler || fs_.gesperrt.contains(name_)) return false;
        fs_.dateien[name_] += text + "\r\n";
        return true;
    }
    void Close() override { offen_ = false; }

private:
    const QByteArray& Inhalt() { return fs_.dateien[name_]; }
    FakeDateisystem& fs_;
    QString name_;
    bool lesen_;
    bool offen_ = true;
    qsizetype pos_ = 0;
};

}  // namespace

std::unique_ptr<ITextStream> FakeDateisystem::OpenTextFile(const QString& name, IoModus modus,
                                                           bool create) {
    if (gesperrt.contains(name)) return nullptr;
    if (!dateien.contains(name)) {
        if (modus == IoModus::ForReading || !create) return nullptr;
        dateien[name] = QByteArray();
    }
    return std::make_unique<FakeStrom>(*this, name, modus == IoModus::ForReading);
}

bool FakeDateisystem::ErsetzeDatei(const QString& name, const QByteArray& inhalt) {
    if (gesperrt.contains(name) || schreibfehler) return false;
    dateien[name] = inhalt;
    ++ersetzungen;
    return true;
}

// ------------------------------------------------------------------ message box, voice

void FakeMeldung::MsgBox(const QString& text) {
    texte << text;
    if (waehrendOffen) waehrendOffen();
}

bool FakeStimme::GetVoices(SprachTokens& stimmen) {
    stimmen.eintraege.clear();
    for (int i = 0; i < anzahl; ++i)
        stimmen.eintraege.append({i, QStringLiteral("Stimme %1").arg(i)});
    return true;
}

bool FakeStimme::SetVoice(const SprachToken& token) {
    if (token.index < 0 || token.index >= anzahl) return false;
    stimme = token.index;
    return true;
}

bool FakeStimme::SetRate(int r) {
    if (rateScheitert) return false;
    rate = r;
    return true;
}

bool FakeStimme::Speak(const QString& text, int flags) {
    if (beimSprechen) beimSprechen();
    if (sprechenScheitert) return false;
    auftraege.append({text, flags, stimme, rate});
    return true;
}

std::unique_ptr<IStimme> FakeSprachDienst::ErzeugeStimme() {
    if (scheitert) return nullptr;
    auto s = std::make_unique<FakeStimme>(anzahl);
    s->rateScheitert = rateScheitert;
    letzte = s.get();
    return s;
}

// ------------------------------------------------------------------ test stand

Pruefstand::Pruefstand(int anzahlStimmen) : sprache(anzahlStimmen) {}

Pruefstand::~Pruefstand() = default;

Form1& Pruefstand::Starten() {
    Dienste d;
    d.uhr = &uhr;
    d.dateisystem = &dateien;
    d.meldung = &meldung;
    d.sprache = ohneSprache ? nullptr : &sprache;
    d.signalton = &signalton;
    d.countdown = &countdown;
    form = std::make_unique<Form1>(d);
    return *form;
}

// ------------------------------------------------------------------ real files

QByteArray DateiInhalt(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

bool DateiSchreiben(const QString& name, const QByteArray& inhalt) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(inhalt) == inhalt.size();
}
