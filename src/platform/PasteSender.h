#pragma once

namespace quillet {

// Types the paste shortcut into whatever window has the keyboard focus, as the user would.
class PasteSender {
public:
    virtual ~PasteSender() = default;

    // Synthetic key events can be posted on this desktop.
    virtual bool isAvailable() const = 0;
    // Releases the modifier keys the user still holds, then posts Ctrl+V, or Ctrl+Shift+V when
    // the target is a terminal. Returns at once; false when nothing could be posted.
    virtual bool postPaste(bool terminal) = 0;
};

} // namespace quillet
