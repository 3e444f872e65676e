// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

#include <QTest>

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

void Tabelle(const char* zeilen) {
    QTest::addColumn<QStringList>("fall");
    QStringList reihen;  // a line that begins with "|" goes on with the row before
    for (const QString& zeile : QString::fromUtf8(zeilen).split(u'\n', Qt::SkipEmptyParts)) {
        if (zeile.trimmed().startsWith(u'|') && !reihen.isEmpty())
            reihen.last() += zeile.trimmed();
        else
            reihen << zeile;
    }
    for (const QString& reihe : reihen) {
        QStringList felder = reihe.split(u'|');
        for (QString& feld : felder) feld = feld.trimmed();
        QTest::newRow(qPrintable(felder.takeFirst())) << felder;
    }
}
