#pragma once

#include "platform/Workspace.h"
#include "x11/XConnection.h"
#include "xdg/DesktopEntries.h"

#include <QStringList>

namespace quillet {

// The front application and the open applications from the window manager's EWMH properties
// (_NET_ACTIVE_WINDOW, _NET_CLIENT_LIST); without a window manager, from the input focus and the
// top-level windows.
class X11Workspace final : public Workspace {
public:
    // `displayName` empty: $DISPLAY.
    explicit X11Workspace(const QByteArray& displayName = {},
                          DesktopEntries entries = DesktopEntries());

    bool isAvailable() const override { return m_x.isOpen(); }
    std::optional<FrontApp> frontApp() override;
    QList<RunningApp> runningApps() override;

private:
    struct ClassHint {
        QString instance;
        QString windowClass;
    };

    std::optional<unsigned long> activeWindow(bool* managed);
    unsigned long focusedClient();
    unsigned long clientBelow(unsigned long window, int depth);
    std::optional<ClassHint> classHint(unsigned long window);
    std::optional<qint64> pid(unsigned long window);
    QString title(unsigned long window);
    QList<unsigned long> windowList(const char* property);
    QList<unsigned long> topLevelClients();
    QString displayName(const ClassHint& hint);

    XConnection m_x;
    DesktopEntries m_entries;
};

} // namespace quillet
