// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

using namespace std::chrono_literals;

namespace {

// Reads from what the file held when it was opened.
struct FakeStrom : ITextStream {
    FakeStrom(FakeDateisystem& fs, const QString& name, bool lesen)
        : fs(fs), name(name), lesen(lesen), rest(lesen ? fs.dateien[name] : QByteArray()) {}
    bool AtEndOfStream() override { return rest.isEmpty(); }
    bool ReadLine(QByteArray& zeile) override {
        if (rest.isEmpty()) return false;
        zeile = rest.first(rest.contains('\n') ? rest.indexOf('\n') : rest.size());
        rest.remove(0, zeile.size() + 1);
        if (zeile.endsWith('\r')) zeile.chop(1);
        return true;
    }
    bool WriteLine(const QByteArray& text) override {
        if (!offen || lesen) return false;
        fs.dateien[name] += text + "\r\n";
        return true;
    }
    void Close() override {
        offen = false;
        rest.clear();
    }
    FakeDateisystem& fs;
    const QString name;
    const bool lesen;
    bool offen = true;
    QByteArray rest;
};

}  // namespace

ErledigungPtr TonLoggen(QStringList* ton, QString was, std::optional<Zeitpunkt> um,
                        std::function<void()> dann) {
    const auto ms = um ? std::chrono::floor<std::chrono::milliseconds>(um->time_since_epoch()) : 0ms;
    if (um) was += QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::UTC).toString("@ss.zzz").remove(".000");
    ton->append(was);
    auto e = std::make_shared<Erledigung>();
    e->BeiAbsage([=] { ton->append(u'-' + was), dann ? dann() : void(); });
    return e;
}

std::unique_ptr<ITextStream> FakeDateisystem::OpenTextFile(const QString& name, IoModus modus,
                                                           bool create) {
    const bool lesen = modus == IoModus::ForReading;
    if (!dateien.contains(name) && (lesen || !create)) return {};
    dateien[name];  // created empty when new
    return std::make_unique<FakeStrom>(*this, name, lesen);
}

Ansicht::Ansicht(Form1& f) : form(&f) {
    const auto finde = [&f](auto& element, const char* name) {
        element = f.findChild<std::remove_reference_t<decltype(element)>>(QLatin1String(name));
        Q_ASSERT(element);
    };
    finde(Check_MldVorbei, "Check_MldVorbei");
    finde(Check_Dauer, "Check_Dauer");
    finde(Check_CountDown, "Check_CountDown");
    finde(Check_SprachAusgabe, "Check_SprachAusgabe");
    finde(Combo_Morgen, "Combo_Morgen");
    finde(Combo_H, "Combo_H");
    finde(Combo_M, "Combo_M");
    finde(Combo_S, "Combo_S");
    finde(btn_ZeitSpeichern, "btn_ZeitSpeichern");
    finde(Command_Datumsansage, "Command_Datumsansage");
    finde(Command_Zeitansage, "Command_Zeitansage");
    finde(Command_Start, "Command_Start");
    finde(Command1, "Command1");
    finde(Command2, "Command2");
    finde(Text_RestZeit, "Text_RestZeit");
    finde(List_Sprecher, "List_Sprecher");
    finde(Label_Zeitpunkt, "Label_Zeitpunkt");
    finde(Label_akti, "Label_akti");
    finde(Label1, "Label1");
    finde(Label_Zeitanzeige, "Label_Zeitanzeige");
    finde(Image1, "Image1");
    finde(Timer_Zeitanzeige, "Timer_Zeitanzeige");
    finde(Timer_OccRestZeit, "Timer_OccRestZeit");
}
