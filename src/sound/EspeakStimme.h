// SPDX-License-Identifier: GPL-3.0-or-later
// The speech engine: German voices of libespeak-ng. One worker thread takes
// the phrases in request order, synthesises each whole, trims its silence and
// hands it to the sound output, to be heard at once or at the instant it was
// asked for: a countdown's number at the boundary of its second.
#pragma once

#include <memory>

#include "Dienste.h"
#include "Tonausgabe.h"

struct EspeakAnschluss;

class EspeakSprachDienst : public ISprachDienst {
public:
    // The output must outlive this object.
    explicit EspeakSprachDienst(ITonausgabe& ausgabe);
    // Drops this service's phrases still queued and waits for the one being
    // synthesised (never for the sound server); its voices then refuse
    // every request.
    ~EspeakSprachDienst() override;

    // Starts the engine on first use and waits only until its data (the
    // installed ones, or those in $ESPEAK_DATA_PATH) and voices are known
    // (some tens of milliseconds). Null, with a warning that tells why, when
    // espeak-ng cannot start here (data missing, no German voice).
    //
    // A voice's Speak and SpeakUm queue the phrase and return at once,
    // whatever the flags. Its completion is reported once it has been heard,
    // or dropped: at once without a sound output, within two seconds past its
    // end when the output stops answering. A phrase taken back before it is
    // synthesised is never synthesised. Null only once the service has gone.
    // SetRate refuses values outside -10 ... 10.
    std::unique_ptr<IStimme> ErzeugeStimme() override;

private:
    std::shared_ptr<EspeakAnschluss> anschluss_;
};
