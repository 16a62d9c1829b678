#pragma once

#include <QString>

namespace quillet {

// The end of one dictation's recognition: the text, and whether it is all there.
struct Transcript {
    enum class Outcome {
        complete,
        // The connection to the service was lost for good; the text is what arrived before.
        lost,
        // The service could not be used (no key, or it refused the session).
        failed,
    };

    QString text;
    Outcome outcome = Outcome::complete;
    // What the user is told when the outcome is not complete.
    QString error;
};

} // namespace quillet
