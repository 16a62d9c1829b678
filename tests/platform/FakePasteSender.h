#pragma once

#include "platform/PasteSender.h"

#include <QStringList>

namespace quillet {

// Keeps the chords it was asked to post: "ctrl+v" or "ctrl+shift+v".
class FakePasteSender final : public PasteSender {
public:
    bool available = true;
    QStringList chords;

    bool isAvailable() const override { return available; }
    bool postPaste(bool terminal) override
    {
        if (!available)
            return false;
        chords << (terminal ? QStringLiteral("ctrl+shift+v") : QStringLiteral("ctrl+v"));
        return true;
    }
};

} // namespace quillet
