#include "x11/X11Workspace.h"

#include "xdg/KnownTerminals.h"

#include <QCoreApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>

namespace quillet {

namespace {

// A property of 32-bit items, as Xlib hands them over (one long each).
QList<unsigned long> longs(Display* dpy, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    QList<unsigned long> out;
    if (XGetWindowProperty(dpy, window, property, 0, 1 << 16, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        out = QList<unsigned long>(items, items + count);
    }
    if (data)
        XFree(data);
    return out;
}

bool hasProperty(Display* dpy, Window window, Atom property)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(dpy, window, property, 0, 0, False, AnyPropertyType,
                                          &actualType, &format, &count, &after, &data);
    if (data)
        XFree(data);
    return status == Success && actualType != 0;
}

} // namespace

X11Workspace::X11Workspace(const QByteArray& displayName, DesktopEntries entries)
    : m_x(displayName)
    , m_entries(std::move(entries))
{}

std::optional<FrontApp> X11Workspace::frontApp()
{
    if (!m_x.isOpen())
        return std::nullopt;
    bool managed = false;
    std::optional<unsigned long> window = activeWindow(&managed);
    if (!managed)
        window = focusedClient();
    if (!window || *window == 0)
        return std::nullopt;
    const auto hint = classHint(*window);
    if (!hint)
        return std::nullopt;
    FrontApp app;
    app.appId = hint->windowClass;
    app.pid = pid(*window);
    app.displayName = displayName(*hint);
    app.windowTitle = title(*window);
    app.terminal = KnownTerminals::contains({hint->instance, hint->windowClass});
    return app;
}

QList<RunningApp> X11Workspace::runningApps()
{
    if (!m_x.isOpen())
        return {};
    QList<unsigned long> windows = windowList("_NET_CLIENT_LIST");
    if (!hasProperty(m_x.display(), m_x.root(), m_x.atom("_NET_CLIENT_LIST")))
        windows = topLevelClients();
    const qint64 self = QCoreApplication::applicationPid();
    QList<RunningApp> apps;
    for (const unsigned long w : windows) {
        const auto hint = classHint(w);
        if (!hint || hint->windowClass.isEmpty() || pid(w) == self)
            continue;
        const bool seen = std::any_of(apps.cbegin(), apps.cend(), [&](const RunningApp& a) {
            return a.appId == hint->windowClass;
        });
        if (!seen)
            apps.append({hint->windowClass, displayName(*hint)});
    }
    std::sort(apps.begin(), apps.end(), [](const RunningApp& a, const RunningApp& b) {
        const int byName = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.appId < b.appId;
    });
    return apps;
}

std::optional<unsigned long> X11Workspace::activeWindow(bool* managed)
{
    Display* dpy = m_x.display();
    const Atom property = m_x.atom("_NET_ACTIVE_WINDOW");
    *managed = hasProperty(dpy, m_x.root(), property);
    if (!*managed)
        return std::nullopt;
    const auto items = longs(dpy, m_x.root(), property, XA_WINDOW);
    if (items.isEmpty())
        return std::nullopt;
    return items.first();
}

unsigned long X11Workspace::focusedClient()
{
    Display* dpy = m_x.display();
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == m_x.root())
        return 0;
    // Up to the top-level window, the root's child...
    Window window = focus;
    while (true) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(dpy, window, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            break;
        window = parent;
    }
    // ...then down to the client inside it, should something have framed it.
    return clientBelow(window, 3);
}

unsigned long X11Workspace::clientBelow(unsigned long window, int depth)
{
    Display* dpy = m_x.display();
    if (hasProperty(dpy, window, m_x.atom("WM_STATE")) || hasProperty(dpy, window, XA_WM_CLASS))
        return window;
    if (depth == 0)
        return 0;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, window, &root, &parent, &children, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = clientBelow(children[i], depth - 1);
    if (children)
        XFree(children);
    return found;
}

QList<unsigned long> X11Workspace::topLevelClients()
{
    Display* dpy = m_x.display();
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    QList<unsigned long> out;
    if (!XQueryTree(dpy, m_x.root(), &root, &parent, &children, &count))
        return out;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(dpy, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
            if (const unsigned long client = clientBelow(children[i], 3))
                out.append(client);
        }
    }
    if (children)
        XFree(children);
    return out;
}

QList<unsigned long> X11Workspace::windowList(const char* property)
{
    return longs(m_x.display(), m_x.root(), m_x.atom(property), XA_WINDOW);
}

std::optional<X11Workspace::ClassHint> X11Workspace::classHint(unsigned long window)
{
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(m_x.display(), window, &hint))
        return std::nullopt;
    ClassHint out{QString::fromLocal8Bit(hint.res_name), QString::fromLocal8Bit(hint.res_class)};
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return out;
}

std::optional<qint64> X11Workspace::pid(unsigned long window)
{
    const auto items = longs(m_x.display(), window, m_x.atom("_NET_WM_PID"), XA_CARDINAL);
    if (items.isEmpty() || items.first() == 0)
        return std::nullopt;
    return static_cast<qint64>(items.first());
}

QString X11Workspace::title(unsigned long window)
{
    Display* dpy = m_x.display();
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    QString out;
    if (XGetWindowProperty(dpy, window, m_x.atom("_NET_WM_NAME"), 0, 1 << 16, False,
                           m_x.atom("UTF8_STRING"), &actualType, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        out = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    if (data)
        XFree(data);
    if (!out.isEmpty())
        return out;

    // WM_NAME may be Latin-1 or compound text; Xlib converts either.
    XTextProperty text{nullptr, 0, 0, 0};
    if (!XGetWMName(dpy, window, &text))
        return out;
    char** list = nullptr;
    int pieces = 0;
    if (Xutf8TextPropertyToTextList(dpy, &text, &list, &pieces) >= Success && list) {
        for (int i = 0; i < pieces; ++i)
            out += QString::fromUtf8(list[i]);
        XFreeStringList(list);
    }
    if (text.value)
        XFree(text.value);
    return out;
}

QString X11Workspace::displayName(const ClassHint& hint)
{
    return m_entries.displayName({hint.windowClass, hint.instance}).value_or(hint.windowClass);
}

} // namespace quillet
