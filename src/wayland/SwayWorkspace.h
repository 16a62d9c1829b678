#pragma once

#include "platform/Workspace.h"
#include "wayland/SwayIpc.h"
#include "xdg/DesktopEntries.h"

class QJsonObject;

namespace quillet {

// The front application and the open windows from sway's window tree. A Wayland window's app id
// stands where X11 has the window class; windows of X11 applications (through Xwayland) keep
// their class.
class SwayWorkspace final : public Workspace {
public:
    explicit SwayWorkspace(SwayIpc ipc = SwayIpc(), DesktopEntries entries = DesktopEntries());

    bool isAvailable() const override { return m_ipc.isAvailable(); }
    std::optional<FrontApp> frontApp() override;
    QList<RunningApp> runningApps() override;

private:
    QList<QJsonObject> windows();
    std::optional<FrontApp> appOf(const QJsonObject& node);

    SwayIpc m_ipc;
    DesktopEntries m_entries;
};

} // namespace quillet
