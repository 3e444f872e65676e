// SPDX-License-Identifier: GPL-3.0-or-later
#include "Aussprache.h"

#include <unicode/rbnf.h>

#include <QLocale>
#include <QRegularExpression>
#include <memory>
#include <mutex>

namespace Aussprache {

namespace {

std::mutex formatMutex;

const icu::RuleBasedNumberFormat* DeutscheZahlwoerter() {
    static const std::unique_ptr<icu::RuleBasedNumberFormat> format = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto f = std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT,
                                                              icu::Locale::getGerman(), status);
        if (U_FAILURE(status)) f.reset();
        return f;
    }();
    return format.get();
}

// Collects number words; remembers when ICU could not give one, so that the
// text is then left to the synthesiser as it is.
struct Worte {
    bool fehlt = false;
    QString operator()(int zahl, const char* regelsatz) {
        QString w = Zahlwort(zahl, regelsatz);
        fehlt = fehlt || w.isEmpty();
        return w;
    }
};

QString ZeitInWorten(int h, int m, int s, Worte& wort) {
    // "sieben Uhr", "ein Uhr": the hour is a bare cardinal ("ein", not "eins").
    QString t = wort(h, "%spellout-cardinal-masculine") + QStringLiteral(" Uhr");
    // After the hour the minutes are counted: "ein Uhr eins", "vierzehn Uhr drei".
    if (m > 0) t += QLatin1Char(' ') + wort(m, "%spellout-numbering");
    if (s == 1) {
        t += QStringLiteral(" und ") + wort(1, "%spellout-cardinal-feminine") +
             QStringLiteral(" Sekunde");
    } else if (s > 1) {
        t += QStringLiteral(" und ") + wort(s, "%spellout-numbering") + QStringLiteral(" Sekunden");
    }
    return t;
}

QString DatumInWorten(int tag, int monat, int jahr, Worte& wort) {
    // "fünfter Dezember": the ordinal as said when the date is named on its own.
    return wort(tag, "%spellout-ordinal-r") + QLatin1Char(' ') +
           QLocale(QLocale::German).monthName(monat, QLocale::LongFormat) + QLatin1Char(' ') +
           wort(jahr, "%spellout-numbering-year");
}

}  // namespace

QString Zahlwort(int zahl, const char* regelsatz) {
    std::lock_guard lock(formatMutex);
    const icu::RuleBasedNumberFormat* format = DeutscheZahlwoerter();
    if (!format) return {};
    icu::UnicodeString ergebnis;
    icu::FieldPosition position;
    UErrorCode status = U_ZERO_ERROR;
    format->format(int32_t(zahl), icu::UnicodeString(regelsatz, -1, US_INV), ergebnis, position,
                   status);
    if (U_FAILURE(status)) return {};
    QString wort = QString::fromUtf16(reinterpret_cast<const char16_t*>(ergebnis.getBuffer()),
                                      ergebnis.length());
    // ICU marks syllable breaks with soft hyphens; the synthesiser must not see them.
    wort.remove(QChar(0x00AD));
    return wort;
}

QString FuerSprache(const QString& text) {
    // [0-9], not \d: only ASCII digits, as the clock writes them.
    static const QRegularExpression zeit(QStringLiteral("^([0-9]{2}):([0-9]{2}):([0-9]{2})$"));
    static const QRegularExpression datum(QStringLiteral("^([0-9]{2})\\.([0-9]{2})\\.([0-9]{4})$"));

    if (const auto z = zeit.match(text); z.hasMatch()) {
        const int h = z.captured(1).toInt(), m = z.captured(2).toInt(), s = z.captured(3).toInt();
        if (h > 23 || m > 59 || s > 59) return text;
        Worte wort;
        const QString worte = ZeitInWorten(h, m, s, wort);
        return wort.fehlt ? text : worte;
    }
    if (const auto d = datum.match(text); d.hasMatch()) {
        const int tag = d.captured(1).toInt(), monat = d.captured(2).toInt();
        const int jahr = d.captured(3).toInt();
        if (tag < 1 || tag > 31 || monat < 1 || monat > 12) return text;
        Worte wort;
        const QString worte = DatumInWorten(tag, monat, jahr, wort);
        return wort.fehlt ? text : worte;
    }
    return text;
}

}  // namespace Aussprache
