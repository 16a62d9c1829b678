#pragma once

#include "wayland/XkbKeymap.h"

#include <QObject>

#include <optional>

struct wl_keyboard;

namespace quillet {

class WaylandConnection;

// The layout the compositor gives the seat's keyboard, as every client receives it. Without a
// keyboard on the seat (a headless compositor), the layout named by the XKB_DEFAULT_* environment
// or xkbcommon's default stands in.
class SeatKeymap final : public QObject {
    Q_OBJECT
public:
    // `connection` must outlive this object.
    explicit SeatKeymap(WaylandConnection& connection, QObject* parent = nullptr);
    ~SeatKeymap() override;

    // None only when not even a default layout compiles.
    std::optional<XkbKeymap> keymap() const;
    // The compositor has told us the seat's layout (rather than a default standing in).
    bool fromCompositor() const { return m_compositor.has_value(); }

signals:
    void changed();

private:
    void follow();
    static void onKeymap(void* self, wl_keyboard*, quint32 format, qint32 fd, quint32 size);

    WaylandConnection& m_connection;
    wl_keyboard* m_keyboard = nullptr;
    std::optional<XkbKeymap> m_compositor;
    std::optional<XkbKeymap> m_default;
};

} // namespace quillet
