#include "wayland/WaylandConnection.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <poll.h>
#include <wayland-client.h>

namespace quillet {

namespace {

void onSyncDone(void* done, wl_callback* callback, quint32)
{
    *static_cast<bool*>(done) = true;
    wl_callback_destroy(callback);
}

const wl_callback_listener syncListener = {onSyncDone};

// Waits for the socket to be readable (POLLIN) or writable (POLLOUT) until `deadline`.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd p{fd, events, 0};
    while (true) {
        const int left = static_cast<int>(deadline.remainingTime());
        const int n = ::poll(&p, 1, left < 0 ? 0 : left);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::connectTo(const QByteArray& socket,
                                                                int timeoutMs)
{
    wl_display* display = wl_display_connect(socket.isEmpty() ? nullptr : socket.constData());
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> c(new WaylandConnection);
    c->m_display = display;
    c->m_registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {&WaylandConnection::onGlobal,
                                                  &WaylandConnection::onGlobalRemove};
    wl_registry_add_listener(c->m_registry, &listener, c.get());
    if (!c->roundtrip(timeoutMs))
        return nullptr;
    return c;
}

std::optional<QList<WaylandConnection::Global>>
WaylandConnection::globalsOf(const QByteArray& socket, int timeoutMs)
{
    const auto c = connectTo(socket, timeoutMs);
    if (!c)
        return std::nullopt;
    return c->m_globals;
}

std::unique_ptr<WaylandConnection> WaylandConnection::open(const QByteArray& socket, int timeoutMs)
{
    auto c = connectTo(socket, timeoutMs);
    if (!c)
        return nullptr;
    c->m_notifier =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(c->m_display), QSocketNotifier::Read);
    connect(c->m_notifier.get(), &QSocketNotifier::activated, c.get(),
            &WaylandConnection::dispatch);
    // Requests made anywhere on the main thread go out before it sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, c.get(),
                &WaylandConnection::flush);
    return c;
}

WaylandConnection::~WaylandConnection()
{
    m_notifier.reset();
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display)
        wl_display_disconnect(m_display);
}

void WaylandConnection::onGlobal(void* self, wl_registry*, quint32 name, const char* interface,
                                 quint32 version)
{
    static_cast<WaylandConnection*>(self)->m_globals.append({name, interface, version});
}

void WaylandConnection::onGlobalRemove(void* self, wl_registry*, quint32 name)
{
    auto& globals = static_cast<WaylandConnection*>(self)->m_globals;
    globals.removeIf([name](const Global& g) { return g.name == name; });
}

std::optional<WaylandConnection::Global> WaylandConnection::global(const char* interface) const
{
    for (const Global& g : m_globals) {
        if (g.interface == interface)
            return g;
    }
    return std::nullopt;
}

wl_proxy* WaylandConnection::bind(const wl_interface* interface, quint32 maxVersion)
{
    const auto g = global(interface->name);
    if (!g || !isAlive())
        return nullptr;
    return static_cast<wl_proxy*>(
        wl_registry_bind(m_registry, g->name, interface, std::min(g->version, maxVersion)));
}

wl_seat* WaylandConnection::seat()
{
    if (m_seat || !isAlive())
        return m_seat;
    m_seat = reinterpret_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    if (m_seat) {
        static const wl_seat_listener listener = {&WaylandConnection::onCapabilities,
                                                  &WaylandConnection::onSeatName};
        wl_seat_add_listener(m_seat, &listener, this);
    }
    return m_seat;
}

bool WaylandConnection::seatHasKeyboard() const
{
    return (m_seatCapabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
}

void WaylandConnection::onCapabilities(void* self, wl_seat*, quint32 capabilities)
{
    auto* c = static_cast<WaylandConnection*>(self);
    if (c->m_seatCapabilities == capabilities)
        return;
    c->m_seatCapabilities = capabilities;
    emit c->seatCapabilitiesChanged();
}

bool WaylandConnection::roundtrip(int timeoutMs)
{
    if (!isAlive())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    bool done = false;
    wl_callback* callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &syncListener, &done);
    const int fd = wl_display_get_fd(m_display);
    while (!done) {
        if (wl_display_dispatch_pending(m_display) < 0)
            break;
        if (done)
            break;
        if (wl_display_flush(m_display) < 0) {
            if (errno != EAGAIN || !waitFor(fd, POLLOUT, deadline))
                break;
            continue;
        }
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        if (!waitFor(fd, POLLIN, deadline)) {
            wl_display_cancel_read(m_display);
            break;
        }
        if (wl_display_read_events(m_display) < 0)
            break;
    }
    if (!done) {
        // A late answer must not write to `done` once it is gone.
        wl_callback_destroy(callback);
        if (wl_display_get_error(m_display) != 0)
            markLost();
    }
    return done;
}

void WaylandConnection::flush()
{
    if (isAlive() && wl_display_flush(m_display) < 0 && errno != EAGAIN)
        markLost();
}

void WaylandConnection::dispatch()
{
    if (!isAlive())
        return;
    if (wl_display_prepare_read(m_display) == 0) {
        if (wl_display_read_events(m_display) < 0) {
            markLost();
            return;
        }
    }
    if (wl_display_dispatch_pending(m_display) < 0)
        markLost();
}

void WaylandConnection::markLost()
{
    if (m_lost)
        return;
    m_lost = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    emit lost();
}

} // namespace quillet
