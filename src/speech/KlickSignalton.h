// SPDX-License-Identifier: GPL-3.0-or-later
// The seconds beat: a short soft click of our own, mixed over the speech by
// the audio output. The platform beep is silent on most Linux desktops, so it
// is only the fallback for when there is no audio output at all.
#pragma once

#include <functional>
#include <memory>

#include "app/Dienste.h"
#include "speech/AudioAusgabe.h"

class KlickSignalton : public ISignalton {
public:
    // `ausgabe` may be null (no audio output: always the fallback). `ersatz`
    // defaults to QApplication::beep.
    explicit KlickSignalton(IAudioAusgabe* ausgabe, std::function<void()> ersatz = {});

    // Never blocks: hands the click to the output's mixer, or beeps.
    void Beep() override;

    // The click: a 1.5 kHz tone burst of 30 ms under a raised-cosine envelope.
    static PcmPuffer klangErzeugen();

private:
    IAudioAusgabe* ausgabe_;
    std::function<void()> ersatz_;
    std::shared_ptr<const PcmPuffer> klang_;
};
