#include "wayland/VirtualKeyboardPasteSender.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wayland/SeatKeymap.h"
#include "wayland/WaylandConnection.h"

#include <QDeadlineTimer>

#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

namespace quillet {

namespace {

quint32 nowMs()
{
    return static_cast<quint32>(QDeadlineTimer::current().deadline());
}

// A sealed-size memory file holding `bytes`, for handing to the compositor.
int memoryFile(const QByteArray& bytes)
{
    const int fd = memfd_create("quillet-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    const qsizetype size = bytes.size() + 1; // with the terminating zero
    if (::write(fd, bytes.constData(), static_cast<size_t>(size)) != size) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

VirtualKeyboardPasteSender::VirtualKeyboardPasteSender(WaylandConnection& connection,
                                                       SeatKeymap& keymap, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_keymap(keymap)
{
    auto* manager = reinterpret_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    wl_seat* seat = connection.seat();
    if (!manager || !seat) {
        if (manager)
            zwp_virtual_keyboard_manager_v1_destroy(manager);
        return;
    }
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
    // The keyboard lives on without its manager.
    zwp_virtual_keyboard_manager_v1_destroy(manager);
    uploadKeymap();
    // A compositor that refuses virtual keyboards says so with a protocol error.
    connection.roundtrip();
}

VirtualKeyboardPasteSender::~VirtualKeyboardPasteSender()
{
    if (m_keyboard && m_connection.isAlive()) {
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
        m_connection.flush();
    }
}

bool VirtualKeyboardPasteSender::isAvailable() const
{
    return m_keyboard && !m_uploaded.isEmpty() && m_connection.isAlive();
}

void VirtualKeyboardPasteSender::uploadKeymap()
{
    const auto keymap = m_keymap.keymap();
    if (!m_keyboard || !keymap)
        return;
    // Our own upload comes back as the seat's layout once this keyboard is the seat's current
    // one; the same text is not sent again.
    const QByteArray text = keymap->text();
    if (text.isEmpty() || text == m_uploaded)
        return;
    const int fd = memoryFile(text);
    if (fd < 0)
        return;
    zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<quint32>(text.size() + 1));
    ::close(fd);
    m_uploaded = text;
    m_connection.flush();
}

bool VirtualKeyboardPasteSender::postPaste(bool terminal)
{
    // The layout is brought up to date here rather than whenever the seat's changes: every
    // keyboard that becomes the seat's current one announces its layout, this one included, and
    // two programs that followed each other's would never stop.
    uploadKeymap();
    if (!isAvailable())
        return false;
    const auto keymap = XkbKeymap::fromText(m_uploaded);
    const auto v = keymap ? keymap->find(XKB_KEY_v) : std::nullopt;
    if (!v)
        return false;
    quint32 mods = v->modifiers | keymap->modifier(XKB_MOD_NAME_CTRL);
    if (terminal)
        mods |= keymap->modifier(XKB_MOD_NAME_SHIFT);
    // This keyboard's own state is all the focused window sees while it types: the keys the user
    // still holds on the real keyboard do not reach the chord.
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, mods, 0, 0, v->group);
    zwp_virtual_keyboard_v1_key(m_keyboard, nowMs(), v->code, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(m_keyboard, nowMs(), v->code, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, v->group);
    m_connection.flush();
    return m_connection.isAlive();
}

} // namespace quillet
