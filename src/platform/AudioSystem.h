#pragma once

#include "platform/AudioEngine.h"

#include <memory>

namespace quillet {

// Makes capture engines for the default input; the composition root hands the real one to the
// microphone, tests a fake.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    // Never null; an engine without usable input reports a zero format.
    virtual std::unique_ptr<AudioEngine> makeEngine() = 0;
};

} // namespace quillet
