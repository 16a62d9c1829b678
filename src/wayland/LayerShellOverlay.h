#pragma once

#include "platform/Overlay.h"

#include <QImage>
#include <QObject>

#include <memory>
#include <vector>

struct wl_buffer;
struct wl_callback;
struct wl_compositor;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace quillet {

class WaylandConnection;

// The overlay as a wlroots layer surface (KDE and sway have the protocol, GNOME does not): on the
// overlay layer, anchored at the bottom edge, never given the keyboard, with an empty input
// region so that clicks go to the window below. Pictures go through two shared-memory buffers,
// reused as the compositor releases them; a new picture waits for the previous frame to be
// drawn, so a fast animation costs at most one copy per frame of the screen. Main thread.
class LayerShellOverlay final : public QObject, public Overlay {
    Q_OBJECT
public:
    // `connection` must outlive the overlay.
    explicit LayerShellOverlay(WaylandConnection& connection, QObject* parent = nullptr);
    ~LayerShellOverlay() override;

    // Overlay.
    bool isAvailable() const override;
    void show(const QImage& image, qreal scale, int bottomMargin) override;
    void hide() override;

    // The compositor has placed the surface (its configure is acknowledged).
    bool isConfigured() const { return m_configured; }
    // Buffers the compositor holds now.
    int buffersInUse() const;

private:
    struct Buffer;

    void makeSurface();
    void dropSurface();
    void present();
    Buffer* freeBuffer(QSize pixels);
    void dropBuffers();
    static void onConfigure(void* self, zwlr_layer_surface_v1*, quint32 serial, quint32 width,
                            quint32 height);
    static void onClosed(void* self, zwlr_layer_surface_v1*);
    static void onFrameDone(void* self, wl_callback*, quint32);
    static void onRelease(void* buffer, wl_buffer*);

    WaylandConnection& m_connection;
    wl_compositor* m_compositor = nullptr;
    wl_shm* m_shm = nullptr;
    zwlr_layer_shell_v1* m_shell = nullptr;
    wl_surface* m_surface = nullptr;
    zwlr_layer_surface_v1* m_layerSurface = nullptr;
    wl_callback* m_frame = nullptr;
    bool m_configured = false;
    std::vector<std::unique_ptr<Buffer>> m_buffers;
    // The picture not yet handed to the compositor, and where it goes.
    QImage m_pending;
    int m_scale = 1;
    int m_margin = 0;
    QSize m_logicalSize;
};

} // namespace quillet
