#include "platform/PulseAudioSystem.h"

#include "platform/PulseAudioEngine.h"

namespace quillet {

std::unique_ptr<AudioEngine> PulseAudioSystem::makeEngine()
{
    return std::make_unique<PulseAudioEngine>(m_timeoutMs);
}

} // namespace quillet
