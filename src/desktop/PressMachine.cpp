#include "desktop/PressMachine.h"

#include <cmath>
#include <cstdint>

namespace quillet {

namespace {

// Durations are compared in whole microseconds. Subtracting two uptimes of about 1000 s leaves
// rounding noise of ~1e-13 s either way (1000.45 - 1000.1 is 0.35000000000002274), so a plain
// double comparison would make "exactly 0.35 s" a hold or a tap by accident. Rounding to the
// microsecond absorbs that noise for any realistic uptime (doubles near even a year of uptime are
// spaced ~4e-9 s apart) while 0.3499 s still counts as shorter.
std::int64_t micros(double seconds)
{
    return std::llround(seconds * 1e6);
}

const std::int64_t kHoldMicros = micros(PressMachine::holdThreshold);
const std::int64_t kDoubleTapMicros = micros(PressMachine::doubleTapWindow);

} // namespace

PressDecision PressMachine::down(double now)
{
    if (locked) {
        recording = false;
        locked = false;
        ignoreUp = true;
        return PressDecision::finish;
    }
    if (recording)
        return PressDecision::none;
    downAt = now;
    secondTap = micros(now - lastTapUp) < kDoubleTapMicros;
    recording = true;
    return PressDecision::start;
}

PressDecision PressMachine::up(double now)
{
    if (ignoreUp) {
        ignoreUp = false;
        return PressDecision::none;
    }
    if (!recording || locked)
        return PressDecision::none;
    if (micros(now - downAt) >= kHoldMicros) {
        recording = false;
        return PressDecision::finish;
    }
    if (secondTap) {
        locked = true;
        lastTapUp = noPreviousTap;
        return PressDecision::none;
    }
    lastTapUp = now;
    recording = false;
    return PressDecision::cancel;
}

PressDecision PressMachine::interrupt()
{
    if (recording && !locked) {
        recording = false;
        return PressDecision::cancel;
    }
    return PressDecision::none;
}

void PressMachine::reset()
{
    *this = PressMachine{};
}

void PressMachine::lock()
{
    reset();
    recording = true;
    locked = true;
}

} // namespace quillet
