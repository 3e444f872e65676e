// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

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
    void Close() override { offen = false, rest.clear(); }
    FakeDateisystem& fs;
    const QString name;
    const bool lesen;
    bool offen = true;
    QByteArray rest;
};

}  // namespace

std::unique_ptr<ITextStream> FakeDateisystem::OpenTextFile(const QString& name, IoModus modus,
                                                           bool create) {
    const bool lesen = modus == IoModus::ForReading;
    if (!dateien.contains(name) && (lesen || !create)) return {};
    dateien[name];  // created empty when new
    return std::make_unique<FakeStrom>(*this, name, lesen);
}
