#pragma once

#include "platform/Pasteboard.h"

#include <QHash>
#include <QObject>
#include <QStringList>

struct wl_interface;
struct wl_proxy;

namespace quillet {

class WaylandConnection;

// The desktop clipboard through the compositor's data-control protocol (the standard ext one, or
// wlroots' older twin with the same messages: one code path serves both). Unlike a toolkit's
// clipboard it works without keyboard focus. What it saves and restores is what the X11 clipboard
// adapter does: the MIME types offered, Qt's decoded image left out.
class DataControlPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    // Reading another application's clipboard waits at most this long in all.
    static constexpr int readTimeoutMs = 1000;

    // `connection` must outlive the pasteboard.
    explicit DataControlPasteboard(WaylandConnection& connection, QObject* parent = nullptr);
    ~DataControlPasteboard() override;

    bool isAvailable() const override;
    QList<PasteboardItem> items() override;
    void clearContents() override;
    void writeText(const QString& text, bool transient) override;
    void writeItems(const QList<PasteboardItem>& items) override;
    qint64 changeCount() const override { return m_changeCount; }

    // Every type the clipboard offers now, in order, whether saved or not.
    QStringList offeredTypes();
    // Which protocol the compositor offers: "ext_data_control_manager_v1",
    // "zwlr_data_control_manager_v1", or empty.
    QByteArray protocol() const;

private:
    struct Interfaces;
    class Writer;

    void own(const PasteboardItem& item);
    void dropSource();
    void setSelection(wl_proxy* source);
    void dropOffer(wl_proxy* offer);

    static void onDataOffer(void* self, wl_proxy* device, wl_proxy* offer);
    static void onSelection(void* self, wl_proxy* device, wl_proxy* offer);
    static void onFinished(void* self, wl_proxy* device);
    static void onPrimarySelection(void* self, wl_proxy* device, wl_proxy* offer);
    static void onOfferType(void* self, wl_proxy* offer, const char* type);
    static void onSend(void* self, wl_proxy* source, const char* type, qint32 fd);
    static void onCancelled(void* self, wl_proxy* source);

    WaylandConnection& m_connection;
    const Interfaces* m_interfaces = nullptr;
    wl_proxy* m_manager = nullptr;
    wl_proxy* m_device = nullptr;
    // Offers announced and not yet dropped, with their types in the order offered.
    QHash<wl_proxy*, QStringList> m_offers;
    wl_proxy* m_selection = nullptr;
    // Our own entry while we hold the clipboard.
    wl_proxy* m_source = nullptr;
    PasteboardItem m_owned;
    qint64 m_changeCount = 0;
    // Selection changes we made whose announcement has not come back yet: they were counted
    // when made.
    int m_echoes = 0;
};

} // namespace quillet
