#include "x11/XConnection.h"

#include <QMutex>
#include <QSet>

#include <X11/Xlib.h>

namespace quillet {

namespace {

// Xlib's error handler is one per process; ours ignores errors on our connections and hands the
// others to whoever was installed before.
QMutex g_mutex;
QSet<Display*> g_ours;
XErrorHandler g_previous = nullptr;
bool g_installed = false;

int onXError(Display* display, XErrorEvent* event)
{
    {
        QMutexLocker lock(&g_mutex);
        if (g_ours.contains(display))
            return 0;
    }
    return g_previous ? g_previous(display, event) : 0;
}

} // namespace

XConnection::XConnection(const QByteArray& displayName)
{
    m_display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!m_display)
        return;
    QMutexLocker lock(&g_mutex);
    g_ours.insert(m_display);
    if (!g_installed) {
        g_previous = XSetErrorHandler(onXError);
        g_installed = true;
    }
}

XConnection::~XConnection()
{
    if (!m_display)
        return;
    {
        QMutexLocker lock(&g_mutex);
        g_ours.remove(m_display);
    }
    XCloseDisplay(m_display);
}

unsigned long XConnection::root() const
{
    return m_display ? DefaultRootWindow(m_display) : 0;
}

unsigned long XConnection::atom(const char* name)
{
    const QByteArray key(name);
    if (const auto found = m_atoms.constFind(key); found != m_atoms.cend())
        return *found;
    const Atom a = XInternAtom(m_display, name, False);
    m_atoms.insert(key, a);
    return a;
}

} // namespace quillet
