#include "atspi/AtspiWorkspace.h"

#include "atspi/AtspiAccessibility.h"
#include "xdg/KnownTerminals.h"
#include "xdg/ProcessAppId.h"

#include <QCoreApplication>

#include <algorithm>

namespace quillet {

AtspiWorkspace::AtspiWorkspace(AtspiAccessibility& accessibility, DesktopEntries entries)
    : m_accessibility(accessibility)
    , m_entries(std::move(entries))
{}

bool AtspiWorkspace::isAvailable() const
{
    return m_accessibility.isAvailable();
}

QString AtspiWorkspace::appId(const QString& name, const std::optional<qint64>& pid) const
{
    if (pid) {
        if (auto launched = ProcessAppId::of(*pid))
            return *launched;
    }
    return name;
}

std::optional<FrontApp> AtspiWorkspace::frontApp()
{
    const auto front = m_accessibility.frontApplication();
    if (!front)
        return std::nullopt;
    const QString id = appId(front->name, front->pid);
    if (id.isEmpty())
        return std::nullopt;
    FrontApp app;
    app.appId = id;
    app.pid = front->pid;
    app.displayName = m_entries.displayName({id, front->name}).value_or(id);
    app.windowTitle = front->windowTitle;
    app.terminal = KnownTerminals::contains({id, front->name});
    return app;
}

QList<RunningApp> AtspiWorkspace::runningApps()
{
    const qint64 self = QCoreApplication::applicationPid();
    QList<RunningApp> apps;
    for (const AccessibleApp& a : m_accessibility.applications()) {
        const QString id = appId(a.name, a.pid);
        if (id.isEmpty() || a.pid == self)
            continue;
        const bool seen = std::any_of(apps.cbegin(), apps.cend(),
                                      [&](const RunningApp& r) { return r.appId == id; });
        if (!seen)
            apps.append({id, m_entries.displayName({id, a.name}).value_or(id)});
    }
    std::sort(apps.begin(), apps.end(), [](const RunningApp& a, const RunningApp& b) {
        const int byName = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.appId < b.appId;
    });
    return apps;
}

} // namespace quillet
