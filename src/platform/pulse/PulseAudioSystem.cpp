#include "platform/pulse/PulseAudioSystem.h"

#include "platform/pulse/PulseAudioEngine.h"

namespace quillet {

std::unique_ptr<AudioEngine> PulseAudioSystem::makeEngine()
{
    return std::make_unique<PulseAudioEngine>(m_timeoutMs);
}

} // namespace quillet
