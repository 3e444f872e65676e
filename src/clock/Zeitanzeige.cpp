// SPDX-License-Identifier: GPL-3.0-or-later
#include "Zeitanzeige.h"

#include "ZahlAusText.h"

Bool16 SommerzeitRegel(int M, int T, int H, int WD) {
    Bool16 R = False16;
    if (M > 3 && M < 10) R = True16;
    if (M == 10 && T < 25) R = True16;
    if (M == 10 && T > 24 && (31 - T) + WD > 7) R = True16;
    if (M == 10 && T > 24 && WD == 1 && H < 2) R = True16;
    if (M == 3 && T > 24 && (31 - T) + WD < 8) R = True16;
    if (M == 3 && T > 24 && WD == 1 && H < 2) R = False16;
    return R;
}

Bool16 IstSommerzeit(const UhrLesung& jetzt) {
    const int M = int(ZahlAusText(jetzt.datum.mid(3, 2)));
    const int T = int(ZahlAusText(jetzt.datum.mid(0, 2)));
    const int H = int(ZahlAusText(jetzt.zeit.mid(0, 2)));
    return SommerzeitRegel(M, T, H, jetzt.wochentag);
}

QString Zeitzeile(const UhrLesung& jetzt) {
    const QString zusatz =
        IstSommerzeit(jetzt) != 0 ? QStringLiteral(" MESZ") : QStringLiteral(" MEZ");
    return jetzt.datum + u' ' + jetzt.zeit + zusatz;
}
