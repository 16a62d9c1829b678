// Synthetic paste latency: the time from postPaste() to its return (the chord written to the X
// server) and until the server has turned the V press into an input event, as a raw-event
// client sees it. It posts Ctrl+V to whatever has the focus: run it inside the test desktop,
// tests/tools/with-desktop.sh build/bench/bench_paste. Target: well under 10 ms.
#include "x11/X11PasteSender.h"

#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillet;

namespace {

// Blocks until the raw press of `keycode` arrives on `dpy`.
void awaitPress(Display* dpy, int keycode)
{
    while (true) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type != GenericEvent || !XGetEventData(dpy, &ev.xcookie))
            continue;
        const bool found = ev.xcookie.evtype == XI_RawKeyPress &&
                           static_cast<const XIRawEvent*>(ev.xcookie.data)->detail == keycode;
        XFreeEventData(dpy, &ev.xcookie);
        if (found)
            return;
    }
}

void print(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %.3f ms  p95 %.3f ms  max %.3f ms\n", what, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.back());
}

} // namespace

int main()
{
    Display* watcher = XOpenDisplay(nullptr);
    X11PasteSender sender;
    if (!watcher || !sender.isAvailable()) {
        std::fprintf(stderr, "bench_paste: needs an X server with XTest (DISPLAY)\n");
        return 1;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(watcher, DefaultRootWindow(watcher), &mask, 1);
    XSync(watcher, False);
    const int v = XKeysymToKeycode(watcher, 'v');

    constexpr int rounds = 200;
    std::vector<double> call;
    std::vector<double> seen;
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        clock.start();
        sender.postPaste(i % 2 == 1);
        call.push_back(double(clock.nsecsElapsed()) / 1e6);
        awaitPress(watcher, v);
        seen.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("paste chord, %d rounds\n", rounds);
    print("call to return (chord written)", call);
    print("call to V press at the server", seen);
    XCloseDisplay(watcher);
    return 0;
}
