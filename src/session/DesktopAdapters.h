#pragma once

#include "session/AdapterChoice.h"
#include "session/SessionInfo.h"

#include <QObject>

#include <memory>
#include <vector>

namespace quillet {

class AtspiAccessibility;
class Clock;
class FallbackKeyMonitor;
class FallbackPasteSender;
class KeyMonitor;
class LayerShellOverlay;
class Overlay;
class PasteSender;
class Pasteboard;
class RemoteDesktopPasteSender;
class SeatKeymap;
class WaylandConnection;
class Workspace;

// The desktop adapters of this session, chosen at run time from what it offers (SessionProbe):
// for each function the first adapter that works, in the order AdapterChoice gives. The
// controller sees only the platform interfaces; the settings read status(). Main thread; needs
// the application object (the toolkit's clipboard is one of the choices).
class DesktopAdapters final : public QObject {
    Q_OBJECT
public:
    // Shown once at the first launch where the push-to-talk key cannot work by itself.
    static inline const QString keyMissingMessage =
        QStringLiteral("Quillet cannot see the push-to-talk key on this desktop yet — see "
                       "Settings → Desktop integration");

    // `clock` and `accessibility` must outlive the adapters. Makes everything at once; asking
    // the desktop for permission to type (a dialog on GNOME and KDE) starts here too, when
    // nothing better can paste.
    DesktopAdapters(SessionInfo session, Clock& clock, AtspiAccessibility& accessibility,
                    QObject* parent = nullptr);
    ~DesktopAdapters() override;

    const SessionInfo& session() const { return m_session; }
    KeyMonitor& keyMonitor() const;
    PasteSender& pasteSender() const;
    Pasteboard& pasteboard() const { return *m_pasteboard; }
    Workspace& workspace() const { return *m_workspace; }
    // What shows the pill: an overlay of the desktop's, the HUD's own window (x11Overlay,
    // xwaylandOverlay), or nothing (trayOnly).
    AdapterChoice::Adapter pillAdapter() const { return m_pillAdapter; }
    // The overlay for the pill when pillAdapter() is one; null otherwise.
    Overlay* overlay() const;

    // One line per function, in AdapterChoice::functions order.
    QList<AdapterChoice::Status> status() const;
    // The push-to-talk key works with nothing for the user to set up.
    bool pushToTalkReady() const;
    // Asks the desktop again to let Quillet type (the fix-it of the same name).
    void allowTyping();

signals:
    // An adapter became available or was lost: status() changed.
    void statusChanged();

private:
    void makeKeyMonitor(Clock& clock);
    void makePasteSender();
    void makePasteboard();
    void makeWorkspace(AtspiAccessibility& accessibility);
    void makeOverlay();
    AdapterChoice::Adapter keyAdapter() const;
    AdapterChoice::Adapter pasteAdapter() const;

    SessionInfo m_session;
    std::unique_ptr<WaylandConnection> m_wayland;
    std::unique_ptr<SeatKeymap> m_keymap;
    std::unique_ptr<FallbackKeyMonitor> m_keyMonitor;
    QList<AdapterChoice::Adapter> m_keyAdapters;
    std::vector<std::unique_ptr<PasteSender>> m_pasteSenders;
    QList<AdapterChoice::Adapter> m_pasteAdapters;
    RemoteDesktopPasteSender* m_remoteDesktop = nullptr;
    std::unique_ptr<FallbackPasteSender> m_pasteSender;
    std::unique_ptr<Pasteboard> m_pasteboard;
    AdapterChoice::Adapter m_pasteboardAdapter = AdapterChoice::Adapter::focusedClipboard;
    std::unique_ptr<Workspace> m_workspace;
    AdapterChoice::Adapter m_workspaceAdapter = AdapterChoice::Adapter::accessibilityWindow;
    std::unique_ptr<LayerShellOverlay> m_overlay;
    AdapterChoice::Adapter m_pillAdapter = AdapterChoice::Adapter::trayOnly;
};

} // namespace quillet
