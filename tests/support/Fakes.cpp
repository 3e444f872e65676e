// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

using namespace std::chrono_literals;

namespace {

// Reads the lines the file held when it was opened, or appends to it.
struct FakeStrom : ITextStream {
    FakeStrom(FakeDateisystem& fs, const QString& name, bool lesen) : fs(fs), name(name) {
        if (lesen) zeilen = fs.dateien[name].split('\n');
        if (!zeilen.isEmpty() && zeilen.last().isEmpty()) zeilen.removeLast();
        schreiben = !lesen;
    }
    bool AtEndOfStream() override { return zeilen.isEmpty(); }
    bool ReadLine(QByteArray& zeile) override {
        if (zeilen.isEmpty()) return false;
        zeile = zeilen.takeFirst();
        if (zeile.endsWith('\r')) zeile.chop(1);
        return true;
    }
    bool WriteLine(const QByteArray& text) override {
        if (schreiben) fs.dateien[name] += text + "\r\n";
        return schreiben;
    }
    void Close() override {
        schreiben = false;
        zeilen.clear();
    }
    FakeDateisystem& fs;
    const QString name;
    bool schreiben;
    QList<QByteArray> zeilen;
};

}  // namespace

ErledigungPtr TonLoggen(QStringList* ton, QString was, std::optional<Zeitpunkt> um,
                        std::function<void()> dann) {
    const auto ms =
        um ? std::chrono::floor<std::chrono::milliseconds>(um->time_since_epoch()) : 0ms;
    if (um)
        was +=
            QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::UTC).toString("@ss.zzz").remove(".000");
    ton->append(was);
    auto e = std::make_shared<Erledigung>();
    e->BeiAbsage([=] {
        ton->append(u'-' + was);
        if (dann) dann();
    });
    return e;
}

std::unique_ptr<ITextStream> FakeDateisystem::OpenTextFile(const QString& name, IoModus modus,
                                                           bool create) {
    const bool lesen = modus == IoModus::ForReading;
    if (!dateien.contains(name) && (lesen || !create)) return {};
    dateien[name];  // created empty when new
    return std::make_unique<FakeStrom>(*this, name, lesen);
}
