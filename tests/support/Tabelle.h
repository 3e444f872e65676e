// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTest>

// The rows of a data-driven test from a table, a line "name | field | ..."
// each (a line that begins with "|" goes on with the one before): one column
// "fall", the fields after the name, trimmed.
inline void Tabelle(const char* zeilen) {
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
