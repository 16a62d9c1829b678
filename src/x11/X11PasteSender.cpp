#include "x11/X11PasteSender.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <vector>

namespace quillet {

X11PasteSender::X11PasteSender(const QByteArray& displayName)
    : m_x(displayName)
{
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    m_available =
        m_x.isOpen() && XTestQueryExtension(m_x.display(), &event, &error, &major, &minor) == True;
}

int X11PasteSender::keycodeFor(unsigned long keysym, int fallback) const
{
    const KeyCode code = XKeysymToKeycode(m_x.display(), keysym);
    return code != 0 ? code : fallback;
}

bool X11PasteSender::postPaste(bool terminal)
{
    if (!m_available)
        return false;
    Display* dpy = m_x.display();

    // A modifier still held (the push-to-talk key, a Shift) would turn Ctrl+V into another
    // shortcut.
    std::vector<int> held;
    char keymap[32] = {};
    XQueryKeymap(dpy, keymap);
    if (XModifierKeymap* map = XGetModifierMapping(dpy)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const int k = map->modifiermap[i];
            if (k != 0 && (keymap[k / 8] >> (k % 8)) & 1)
                held.push_back(k);
        }
        XFreeModifiermap(map);
    }
    for (const int k : held)
        XTestFakeKeyEvent(dpy, k, False, CurrentTime);

    // Shortcuts are matched on the keysym of the active layout; the physical keys are the
    // fallback for a layout without them.
    const int ctrl = keycodeFor(XK_Control_L, 37);
    const int shift = keycodeFor(XK_Shift_L, 50);
    const int v = keycodeFor(XK_v, 55);
    XTestFakeKeyEvent(dpy, ctrl, True, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
    XTestFakeKeyEvent(dpy, v, True, CurrentTime);
    XTestFakeKeyEvent(dpy, v, False, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
    XTestFakeKeyEvent(dpy, ctrl, False, CurrentTime);
    XFlush(dpy);
    return true;
}

} // namespace quillet
