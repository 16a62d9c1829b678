#pragma once

#include "platform/Workspace.h"
#include "xdg/DesktopEntries.h"

namespace quillet {

class AtspiAccessibility;

// The front application and the open applications as AT-SPI sees them: the one way that works
// on every desktop, Wayland compositors included, though only for applications that expose
// themselves to accessibility (GTK and Qt ones do). The app id is the one the desktop launched
// the process under, else the toolkit's name for it.
class AtspiWorkspace final : public Workspace {
public:
    // `accessibility` must outlive the workspace.
    explicit AtspiWorkspace(AtspiAccessibility& accessibility,
                            DesktopEntries entries = DesktopEntries());

    bool isAvailable() const override;
    std::optional<FrontApp> frontApp() override;
    QList<RunningApp> runningApps() override;

private:
    QString appId(const QString& name, const std::optional<qint64>& pid) const;

    AtspiAccessibility& m_accessibility;
    DesktopEntries m_entries;
};

} // namespace quillet
