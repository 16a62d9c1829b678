#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

// The application that has the keyboard focus.
struct FrontApp {
    // Stands where other desktops have a bundle identifier: the window's class on X11.
    QString appId;
    std::optional<qint64> pid;
    // The name the user knows it by: from its desktop entry, else the app id.
    QString displayName;
    QString windowTitle;
    // A terminal emulator known to the adapter (terminals paste with Ctrl+Shift+V).
    bool terminal = false;

    friend bool operator==(const FrontApp&, const FrontApp&) = default;
};

// An application with a window open, for choosing per-application settings.
struct RunningApp {
    QString appId;
    QString displayName;

    friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

// The desktop's windows as applications. Main thread; reads are quick local round trips.
class Workspace {
public:
    virtual ~Workspace() = default;

    virtual bool isAvailable() const = 0;
    // None when no window has the focus (or nothing can be read).
    virtual std::optional<FrontApp> frontApp() = 0;
    // One entry per app id, this process left out, sorted by display name ignoring case.
    virtual QList<RunningApp> runningApps() = 0;
};

// The front application counts as a terminal: known to the adapter, listed by the user (the
// preference "terminalApps", compared ignoring case), or its focused element is a terminal.
inline bool isTerminalTarget(const std::optional<FrontApp>& app, const QStringList& terminalApps,
                             bool focusedIsTerminal)
{
    if (focusedIsTerminal)
        return true;
    if (!app)
        return false;
    return app->terminal || terminalApps.contains(app->appId, Qt::CaseInsensitive);
}

} // namespace quillet
