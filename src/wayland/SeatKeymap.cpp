#include "wayland/SeatKeymap.h"

#include "wayland/WaylandConnection.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace quillet {

namespace {

void ignoreEnter(void*, wl_keyboard*, quint32, wl_surface*, wl_array*) {}
void ignoreLeave(void*, wl_keyboard*, quint32, wl_surface*) {}
void ignoreKey(void*, wl_keyboard*, quint32, quint32, quint32, quint32) {}
void ignoreModifiers(void*, wl_keyboard*, quint32, quint32, quint32, quint32, quint32) {}
void ignoreRepeat(void*, wl_keyboard*, qint32, qint32) {}

} // namespace

SeatKeymap::SeatKeymap(WaylandConnection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_default(XkbKeymap::fromNames())
{
    connect(&connection, &WaylandConnection::seatCapabilitiesChanged, this, &SeatKeymap::follow);
    m_connection.seat();
    // The seat announces its capabilities, and a new keyboard its layout, on the next round trip.
    m_connection.roundtrip();
    follow();
    m_connection.roundtrip();
}

SeatKeymap::~SeatKeymap()
{
    if (m_keyboard)
        wl_keyboard_release(m_keyboard);
}

void SeatKeymap::follow()
{
    if (m_keyboard || !m_connection.seatHasKeyboard())
        return;
    m_keyboard = wl_seat_get_keyboard(m_connection.seat());
    static const wl_keyboard_listener listener = {
        &SeatKeymap::onKeymap, ignoreEnter, ignoreLeave, ignoreKey, ignoreModifiers, ignoreRepeat,
    };
    wl_keyboard_add_listener(m_keyboard, &listener, this);
    m_connection.flush();
}

void SeatKeymap::onKeymap(void* self, wl_keyboard*, quint32 format, qint32 fd, quint32 size)
{
    auto* s = static_cast<SeatKeymap*>(self);
    QByteArray text;
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            // Compositors differ on whether the size counts the terminating zero.
            const auto* chars = static_cast<const char*>(map);
            text = QByteArray(chars, static_cast<qsizetype>(strnlen(chars, size)));
            munmap(map, size);
        }
    }
    ::close(fd);
    // Another program's virtual keyboard (a typing tool) may be the seat's keyboard for a moment;
    // its few made-up keys are not the user's layout.
    if (auto keymap = XkbKeymap::fromText(text); keymap && keymap->isFullLayout()) {
        s->m_compositor = std::move(keymap);
        emit s->changed();
    }
}

std::optional<XkbKeymap> SeatKeymap::keymap() const
{
    return m_compositor ? m_compositor : m_default;
}

} // namespace quillet
