#pragma once

#include <QString>

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
    // What the user is told when this sender cannot post and the text is left on the clipboard:
    // where a permission is missing, that permission; where the desktop has no way at all, the
    // keys to press.
    virtual QString copyOnlyMessage() const
    {
        return QStringLiteral("Copied — allow Accessibility to paste automatically");
    }
};

} // namespace quillet
