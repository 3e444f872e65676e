// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

#include <QTest>

#include "app/Plattform.h"

void FakeUhr::Setze(int jahr, int monat, int tag, int stunde, int minute, int sekunde, int ms) {
    jetzt_ = QDateTime(QDate(jahr, monat, tag), QTime(stunde, minute, sekunde, ms), Qt::UTC);
}

void FakeUhr::Weiter(qint64 ms) {
    jetzt_ = jetzt_.addMSecs(ms);
    eingabeUhr += quint64(ms);
}

UhrLesung FakeUhr::Lesen() { return UhrLesungAus(jetzt_); }

UhrLesung FakeUhr::LesenZu(quint64 eingabeZeit) {
    const quint64 alter = eingabeUhr - eingabeZeit;
    return UhrLesungAus(alter <= 60000 ? jetzt_.addMSecs(-qint64(alter)) : jetzt_);
}

namespace {

// Lines end at LF, a CR before it is dropped; written lines end in CR LF.
class FakeStrom : public ITextStream {
public:
    FakeStrom(FakeDateisystem& fs, QString name, bool lesen)
        : fs_(fs), name_(std::move(name)), lesen_(lesen) {}
    bool AtEndOfStream() override { return !offen_ || pos_ >= fs_.dateien[name_].size(); }
    bool ReadLine(QByteArray& zeile) override {
        if (!lesen_ || AtEndOfStream()) return false;
        const QByteArray& d = fs_.dateien[name_];
        qsizetype ende = d.indexOf('\n', pos_);
        if (ende < 0) ende = d.size();
        zeile = d.mid(pos_, ende - pos_);
        if (zeile.endsWith('\r')) zeile.chop(1);
        pos_ = ende + 1;
        return true;
    }
    bool WriteLine(const QByteArray& text) override {
        if (!offen_ || lesen_ || fs_.gesperrt.contains(name_)) return false;
        fs_.dateien[name_] += text + "\r\n";
        return true;
    }
    void Close() override { offen_ = false; }

private:
    FakeDateisystem& fs_;
    QString name_;
    bool lesen_, offen_ = true;
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
    if (gesperrt.contains(name)) return false;
    dateien[name] = inhalt;
    return true;
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
    if (!rateScheitert) rate = r;
    return !rateScheitert;
}

bool FakeStimme::Speak(const QString& text, int flags) {
    if (beimSprechen) beimSprechen();
    if (!sprechenScheitert) auftraege.append({text, flags, stimme, rate});
    return !sprechenScheitert;
}

std::unique_ptr<IStimme> FakeSprachDienst::ErzeugeStimme() {
    if (scheitert) return nullptr;
    auto s = std::make_unique<FakeStimme>(anzahl);
    s->rateScheitert = rateScheitert;
    letzte = s.get();
    return s;
}

bool Pruefstand::Zeigen() {
    form->show();
    return QTest::qWaitForWindowActive(form.get());
}

Form1& Pruefstand::Starten(IDateisystem* echteDateien) {
    form = std::make_unique<Form1>(Dienste{&uhr, echteDateien ? echteDateien : &dateien, &meldung,
                                           &sprache, &signalton, &countdown});
    return *form;
}
