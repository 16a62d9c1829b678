#pragma once

namespace quillet {

enum class PressDecision : int {
    start = 0,
    finish = 1,
    cancel = 2,
    none = 3,
};

// Turns presses and releases of the push-to-talk key into decisions. It gives the one key three
// gestures: hold and talk (release after at least 0.35 s finishes), double tap to lock (a second
// press less than 0.5 s after a quick tap's release keeps recording until the next press), and a
// single quick tap that cancels what it started. Times are uptime seconds read by the caller.
struct PressMachine {
    static constexpr double holdThreshold = 0.35;
    static constexpr double doubleTapWindow = 0.5;
    static constexpr double noPreviousTap = -10;

    // The key started a dictation that is still running (held, or locked).
    bool recording = false;
    // Hands-free after a double tap; the next press finishes.
    bool locked = false;
    // The last press that started recording.
    double downAt = 0;
    // The last release that ended a quick tap.
    double lastTapUp = noPreviousTap;
    // The current press came less than the double-tap window after `lastTapUp`.
    bool secondTap = false;
    // The next release belongs to a press that finished a locked dictation.
    bool ignoreUp = false;

    PressDecision down(double now);
    PressDecision up(double now);
    // Another, non-modifier key went down.
    PressDecision interrupt();
    void reset();
    // Recording was started locked on by other means (a toggle): the next press finishes it.
    void lock();

    bool operator==(const PressMachine&) const = default;
};

} // namespace quillet
