#include "wayland/LayerShellOverlay.h"

#include "wayland/WaylandConnection.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

// The protocol names an argument `namespace`, a keyword here.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace quillet {

struct LayerShellOverlay::Buffer {
    LayerShellOverlay* owner = nullptr;
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    size_t size = 0;
    QSize pixels;
    bool busy = false;

    ~Buffer()
    {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (data)
            munmap(data, size);
    }
};

namespace {

// A third buffer only while the compositor is slow to give the others back.
constexpr size_t maxBuffers = 3;

} // namespace

LayerShellOverlay::LayerShellOverlay(WaylandConnection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
{
    // Version 4 brings damage in buffer pixels; 3 is enough for the buffer scale.
    m_compositor = reinterpret_cast<wl_compositor*>(connection.bind(&wl_compositor_interface, 4));
    m_shm = reinterpret_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
    // Version 4 has the "none" keyboard interactivity by name; earlier ones mean it by 0 too.
    m_shell =
        reinterpret_cast<zwlr_layer_shell_v1*>(connection.bind(&zwlr_layer_shell_v1_interface, 4));
    connect(&connection, &WaylandConnection::lost, this, [this] {
        m_configured = false;
        m_pending = {};
    });
}

LayerShellOverlay::~LayerShellOverlay()
{
    dropSurface();
    dropBuffers();
    if (m_shell)
        zwlr_layer_shell_v1_destroy(m_shell);
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_compositor)
        wl_compositor_destroy(m_compositor);
}

bool LayerShellOverlay::isAvailable() const
{
    return m_compositor && m_shm && m_shell && m_connection.isAlive();
}

int LayerShellOverlay::buffersInUse() const
{
    return int(
        std::count_if(m_buffers.cbegin(), m_buffers.cend(), [](const auto& b) { return b->busy; }));
}

void LayerShellOverlay::show(const QImage& image, qreal scale, int bottomMargin)
{
    if (!isAvailable() || image.isNull())
        return;
    // Wayland scales buffers by whole numbers only; anything else is shown at its own size.
    m_scale = std::max(1, qRound(scale));
    if (image.width() % m_scale != 0 || image.height() % m_scale != 0)
        m_scale = 1;
    m_pending = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!m_surface) {
        m_margin = bottomMargin;
        makeSurface();
    } else if (m_margin != bottomMargin) {
        m_margin = bottomMargin;
        zwlr_layer_surface_v1_set_margin(m_layerSurface, 0, 0, m_margin, 0);
    }
    present();
}

void LayerShellOverlay::hide()
{
    m_pending = {};
    dropSurface();
    // A destroyed surface's buffers may never come back; new ones cost little.
    dropBuffers();
}

void LayerShellOverlay::makeSurface()
{
    m_surface = wl_compositor_create_surface(m_compositor);
    // An empty input region: the pointer goes through to the window below.
    wl_region* nothing = wl_compositor_create_region(m_compositor);
    wl_surface_set_input_region(m_surface, nothing);
    wl_region_destroy(nothing);
    // No output named: the compositor puts it on the one the user is working on.
    m_layerSurface = zwlr_layer_shell_v1_get_layer_surface(
        m_shell, m_surface, nullptr, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "quillet-pill");
    static const zwlr_layer_surface_v1_listener listener = {&LayerShellOverlay::onConfigure,
                                                            &LayerShellOverlay::onClosed};
    zwlr_layer_surface_v1_add_listener(m_layerSurface, &listener, this);
    m_logicalSize = m_pending.size() / m_scale;
    zwlr_layer_surface_v1_set_size(m_layerSurface, m_logicalSize.width(), m_logicalSize.height());
    zwlr_layer_surface_v1_set_anchor(m_layerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM);
    zwlr_layer_surface_v1_set_margin(m_layerSurface, 0, 0, m_margin, 0);
    // Zone 0: kept clear of panels and docks, and pushing nothing aside itself.
    zwlr_layer_surface_v1_set_exclusive_zone(m_layerSurface, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(m_layerSurface, 0);
    // The first commit has no buffer: the compositor answers with where the surface goes.
    wl_surface_commit(m_surface);
    m_connection.flush();
}

void LayerShellOverlay::dropSurface()
{
    if (m_frame) {
        wl_callback_destroy(m_frame);
        m_frame = nullptr;
    }
    if (m_layerSurface) {
        zwlr_layer_surface_v1_destroy(m_layerSurface);
        m_layerSurface = nullptr;
    }
    if (m_surface) {
        wl_surface_destroy(m_surface);
        m_surface = nullptr;
    }
    m_configured = false;
    m_connection.flush();
}

void LayerShellOverlay::dropBuffers()
{
    m_buffers.clear();
}

void LayerShellOverlay::present()
{
    // Waits for the configure, for the last frame to be drawn, or for a buffer to come back;
    // each of those calls here again.
    if (!m_configured || m_frame || m_pending.isNull() || !m_connection.isAlive())
        return;
    Buffer* buffer = freeBuffer(m_pending.size());
    if (!buffer)
        return;
    const size_t row = size_t(m_pending.width()) * 4;
    for (int y = 0; y < m_pending.height(); ++y)
        std::memcpy(static_cast<char*>(buffer->data) + size_t(y) * row, m_pending.constScanLine(y),
                    row);
    const QSize logical = m_pending.size() / m_scale;
    if (logical != m_logicalSize) {
        m_logicalSize = logical;
        zwlr_layer_surface_v1_set_size(m_layerSurface, logical.width(), logical.height());
    }
    wl_surface_set_buffer_scale(m_surface, m_scale);
    wl_surface_attach(m_surface, buffer->buffer, 0, 0);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(m_surface)) >= 4)
        wl_surface_damage_buffer(m_surface, 0, 0, m_pending.width(), m_pending.height());
    else
        wl_surface_damage(m_surface, 0, 0, logical.width(), logical.height());
    m_frame = wl_surface_frame(m_surface);
    static const wl_callback_listener frameListener = {&LayerShellOverlay::onFrameDone};
    wl_callback_add_listener(m_frame, &frameListener, this);
    wl_surface_commit(m_surface);
    buffer->busy = true;
    m_pending = {};
    m_connection.flush();
}

LayerShellOverlay::Buffer* LayerShellOverlay::freeBuffer(QSize pixels)
{
    // Buffers of another size go as soon as the compositor has let go of them.
    std::erase_if(m_buffers, [&](const auto& b) { return !b->busy && b->pixels != pixels; });
    for (const auto& b : m_buffers) {
        if (!b->busy)
            return b.get();
    }
    if (m_buffers.size() >= maxBuffers)
        return nullptr;

    auto b = std::make_unique<Buffer>();
    b->owner = this;
    b->pixels = pixels;
    b->size = size_t(pixels.width()) * 4 * size_t(pixels.height());
    const int fd = memfd_create("quillet-pill", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, off_t(b->size)) != 0) {
        close(fd);
        return nullptr;
    }
    void* data = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    b->data = data;
    wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, int(b->size));
    // Premultiplied ARGB in native byte order is what the toolkit draws.
    b->buffer = wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(),
                                          pixels.width() * 4, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    static const wl_buffer_listener listener = {&LayerShellOverlay::onRelease};
    wl_buffer_add_listener(b->buffer, &listener, b.get());
    m_buffers.push_back(std::move(b));
    return m_buffers.back().get();
}

void LayerShellOverlay::onConfigure(void* self, zwlr_layer_surface_v1* surface, quint32 serial,
                                    quint32, quint32)
{
    auto* o = static_cast<LayerShellOverlay*>(self);
    zwlr_layer_surface_v1_ack_configure(surface, serial);
    o->m_configured = true;
    o->present();
}

void LayerShellOverlay::onClosed(void* self, zwlr_layer_surface_v1*)
{
    // The compositor took it away (its screen went, say); the next picture makes a new one.
    static_cast<LayerShellOverlay*>(self)->dropSurface();
}

void LayerShellOverlay::onFrameDone(void* self, wl_callback* callback, quint32)
{
    auto* o = static_cast<LayerShellOverlay*>(self);
    wl_callback_destroy(callback);
    o->m_frame = nullptr;
    o->present();
}

void LayerShellOverlay::onRelease(void* buffer, wl_buffer*)
{
    auto* b = static_cast<Buffer*>(buffer);
    b->busy = false;
    b->owner->present();
}

} // namespace quillet
