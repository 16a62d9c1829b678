#pragma once

#include <QString>

namespace quillet {

class Dictation;

// The floating status of the running dictation, as the controller drives it: it is bound to the
// one dictation once, shows short messages, and carries the lock mark of a double tap. Main
// thread.
class Hud {
public:
    virtual ~Hud() = default;

    // Follows the dictation's published state from now on.
    virtual void bind(Dictation* dictation) = 0;
    // A short message, shown for a moment.
    virtual void toast(const QString& text) = 0;
    // Recording is locked on; the HUD clears it itself when the dictation returns to idle.
    virtual bool locked() const = 0;
    virtual void setLocked(bool locked) = 0;
};

} // namespace quillet
