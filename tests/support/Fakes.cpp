// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

#include <QTest>

#include "app/Plattform.h"

UhrLesung FakeUhr::Lesen() { return UhrLesungAus(jetzt_); }

UhrLesung FakeUhr::LesenZu(quint64 eingabeZeit) {
    const quint64 alter = eingabeUhr - eingabeZeit;
    return UhrLesungAus(alter <= 60000 ? jetzt_.addMSecs(-qint64(alter)) : jetzt_);
}

namespace {

class FakeStrom : public ITextStream {
public:
    FakeStrom(FakeDateisystem& fs, const QString& name, bool lesen)
        : fs_(fs), name_(name), lesen_(lesen) {}
    bool AtEndOfStream() override { return !offen_ || pos_ >= fs_.dateien[name_].size(); }
    bool ReadLine(QByteArray& zeile) override {
        if (!lesen_ || AtEndOfStream()) return false;
        const QByteArray& d = fs_.dateien[name_];
        const qsizetype ende = d.indexOf('\n', pos_) < 0 ? d.size() : d.indexOf('\n', pos_);
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
    const QString name_;
    const bool lesen_;
    bool offen_ = true;
    qsizetype pos_ = 0;
};

}  // namespace

std::unique_ptr<ITextStream> FakeDateisystem::OpenTextFile(const QString& name, IoModus modus,
                                                           bool create) {
    const bool lesen = modus == IoModus::ForReading;
    if (gesperrt.contains(name) || (!dateien.contains(name) && (lesen || !create))) return {};
    dateien[name];  // created empty when new
    return std::make_unique<FakeStrom>(*this, name, lesen);
}

Form1& Pruefstand::Starten(IDateisystem* echteDateien) {
    form = std::make_unique<Form1>(Dienste{&uhr, echteDateien ? echteDateien : &dateien, &meldung,
                                           &sprache, &signalton, &countdown});
    return *form;
}

bool Pruefstand::Zeigen() {
    form->show();
    return QTest::qWaitForWindowActive(form.get());
}
