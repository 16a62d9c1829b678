#include "shell/LaunchRule.h"

namespace quillet {

std::optional<LaunchRule::Missing> LaunchRule::firstMissing() const
{
    if (!axTrusted)
        return Missing::accessibility;
    if (!micAllowed)
        return Missing::microphone;
    if (!hasSpeechKey)
        return Missing::speechKey;
    return std::nullopt;
}

bool LaunchRule::opensSettings() const
{
    return showSettings || (!automation && (firstMissing() || !hasTray));
}

} // namespace quillet
