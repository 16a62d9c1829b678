#pragma once

#include <optional>

namespace quillet {

// Whether the settings window opens by itself at launch.
struct LaunchRule {
    enum class Missing {
        accessibility,
        microphone,
        speechKey,
    };

    // An automation run (selftest, updateNow, verifyUpdate) keeps the launch quiet.
    bool automation = false;
    bool axTrusted = false;
    bool micAllowed = false;
    bool hasSpeechKey = false;
    // The preference "showSettings".
    bool showSettings = false;
    // Without a tray the window is the only way in, so it opens as well.
    bool hasTray = true;

    // The first of accessibility, microphone and speech key that is missing.
    std::optional<Missing> firstMissing() const;
    bool opensSettings() const;
};

} // namespace quillet
