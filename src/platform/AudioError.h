#pragma once

#include <QString>

namespace quillet {

// A failure to start audio capture: the microphone's own errors (domain "Mic") or the sound
// server's, passed through unchanged (domain "PulseAudio", its error number and text).
struct AudioError {
    QString domain;
    int code = 0;
    QString description;
};

} // namespace quillet
