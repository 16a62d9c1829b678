#include "x11/X11KeyMonitor.h"

#include <QPointer>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace quillet {

X11KeyMonitor::X11KeyMonitor(const QByteArray& displayName, QObject* parent)
    : KeyMonitor(parent)
    , m_displayName(displayName)
{}

X11KeyMonitor::~X11KeyMonitor() = default;

bool X11KeyMonitor::isAvailable() const
{
    return m_notifier != nullptr && m_x && m_x->isOpen();
}

bool X11KeyMonitor::start()
{
    if (isAvailable())
        return true;
    auto x = std::make_unique<XConnection>(m_displayName);
    if (!x->isOpen())
        return false;
    Display* dpy = x->display();

    int event = 0;
    int error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &m_xiOpcode, &event, &error))
        return false;
    // 2.1 delivers raw events to every client, grabs or not.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(dpy, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1))
        return false;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);

    m_x = std::move(x);
    refreshModifierMap();
    // After selecting, so that no change falls between the snapshot and the first event.
    char keymap[32] = {};
    XQueryKeymap(dpy, keymap);
    m_tracker.setHeldKeys(keymap);

    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(dpy), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11KeyMonitor::readEvents);
    // The round trips above may already have queued events that the socket will not announce.
    readEvents();
    return true;
}

void X11KeyMonitor::refreshModifierMap()
{
    QSet<int> keycodes;
    if (XModifierKeymap* map = XGetModifierMapping(m_x->display())) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            if (map->modifiermap[i] != 0)
                keycodes.insert(map->modifiermap[i]);
        }
        XFreeModifiermap(map);
    }
    m_tracker.setExtraModifiers(keycodes);
}

void X11KeyMonitor::readEvents()
{
    Display* dpy = m_x->display();
    while (XPending(dpy) > 0) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == MappingNotify) {
            XRefreshKeyboardMapping(&ev.xmapping);
            refreshModifierMap();
            continue;
        }
        if (ev.type != GenericEvent || ev.xcookie.extension != m_xiOpcode ||
            !XGetEventData(dpy, &ev.xcookie))
            continue;
        std::optional<KeyEvent> out;
        const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
        if (ev.xcookie.evtype == XI_RawKeyPress)
            out = m_tracker.press(raw->detail, (raw->flags & XIKeyRepeat) != 0);
        else if (ev.xcookie.evtype == XI_RawKeyRelease)
            out = m_tracker.release(raw->detail);
        XFreeEventData(dpy, &ev.xcookie);
        if (!out)
            continue;
        // A receiver may end this monitor.
        const QPointer<X11KeyMonitor> self(this);
        emit keyEvent(*out);
        if (!self)
            return;
    }
}

} // namespace quillet
