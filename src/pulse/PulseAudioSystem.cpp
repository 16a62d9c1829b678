#include "pulse/PulseAudioSystem.h"

#include "pulse/PulseAudioEngine.h"

namespace quillet {

std::unique_ptr<AudioEngine> PulseAudioSystem::makeEngine()
{
    return std::make_unique<PulseAudioEngine>(m_timeoutMs);
}

} // namespace quillet
