#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class QSocketNotifier;
struct wl_display;
struct wl_interface;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace quillet {

// A Wayland connection of our own, apart from the toolkit's, so that the adapters' objects never
// depend on the toolkit's platform and their requests never mix with the GUI's. Waits for the
// compositor only in bounded round trips; otherwise its events are read on the event loop. Main
// thread.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    struct Global {
        quint32 name = 0;
        QByteArray interface;
        quint32 version = 0;
    };

    // How long a round trip may wait for a compositor that should answer at once.
    static constexpr int defaultTimeoutMs = 500;

    // Connects to `socket` ($WAYLAND_DISPLAY when empty) and reads the compositor's globals; null
    // when there is no compositor or it does not answer in time.
    static std::unique_ptr<WaylandConnection> open(const QByteArray& socket = {},
                                                   int timeoutMs = defaultTimeoutMs);
    // Only the globals, on a connection closed again at once; usable before the application
    // object exists. None when there is no compositor or it does not answer in time.
    static std::optional<QList<Global>> globalsOf(const QByteArray& socket = {},
                                                  int timeoutMs = defaultTimeoutMs);
    ~WaylandConnection() override;

    wl_display* display() const { return m_display; }
    bool isAlive() const { return m_display != nullptr && !m_lost; }
    const QList<Global>& globals() const { return m_globals; }
    std::optional<Global> global(const char* interface) const;

    // Binds the first global called `interface->name`, at its version or `maxVersion` if lower;
    // null when the compositor has none.
    wl_proxy* bind(const wl_interface* interface, quint32 maxVersion);
    // The first seat, bound on first use; null when there is none.
    wl_seat* seat();
    // The seat has a keyboard now (its capabilities may change at any time).
    bool seatHasKeyboard() const;

    // Sends what is queued and waits until the compositor has handled it, dispatching the events
    // that arrive; false when it takes longer than `timeoutMs` or the connection is lost.
    bool roundtrip(int timeoutMs = defaultTimeoutMs);
    // Sends what is queued without waiting.
    void flush();

signals:
    void seatCapabilitiesChanged();
    // The compositor closed the connection or sent a protocol error; everything bound is dead.
    void lost();

private:
    WaylandConnection() = default;
    static std::unique_ptr<WaylandConnection> connectTo(const QByteArray& socket, int timeoutMs);
    void dispatch();
    void markLost();
    static void onGlobal(void* self, wl_registry*, quint32 name, const char* interface,
                         quint32 version);
    static void onGlobalRemove(void* self, wl_registry*, quint32 name);
    static void onCapabilities(void* self, wl_seat*, quint32 capabilities);
    static void onSeatName(void*, wl_seat*, const char*) {}

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    quint32 m_seatCapabilities = 0;
    QList<Global> m_globals;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_lost = false;
};

} // namespace quillet
