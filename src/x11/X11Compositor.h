#pragma once

namespace quillet {

// Whether a compositing manager runs on the toolkit's X display: one owns the selection
// _NET_WM_CM_S<screen>. Without one, transparent parts of a window show black.
class X11Compositor {
public:
    // False off X11. One round trip; main thread.
    static bool isRunning();
};

} // namespace quillet
