#include "wayland/SwayWorkspace.h"

#include "xdg/KnownTerminals.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace quillet {

namespace {

void collect(const QJsonObject& node, QList<QJsonObject>& out)
{
    const QString type = node.value(u"type").toString();
    if (type == u"con" || type == u"floating_con") {
        // Containers that hold windows have no process of their own.
        if (node.value(u"pid").toInteger() > 0)
            out.append(node);
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            collect(child.toObject(), out);
    }
}

} // namespace

SwayWorkspace::SwayWorkspace(SwayIpc ipc, DesktopEntries entries)
    : m_ipc(std::move(ipc))
    , m_entries(std::move(entries))
{}

QList<QJsonObject> SwayWorkspace::windows()
{
    QList<QJsonObject> out;
    if (const auto tree = m_ipc.request(SwayIpc::Message::getTree))
        collect(tree->object(), out);
    return out;
}

std::optional<FrontApp> SwayWorkspace::appOf(const QJsonObject& node)
{
    const qint64 pid = node.value(u"pid").toInteger();
    const QJsonObject x11 = node.value(u"window_properties").toObject();
    QString appId = node.value(u"app_id").toString();
    const QString instance = x11.value(u"instance").toString();
    if (appId.isEmpty())
        appId = x11.value(u"class").toString();
    if (pid <= 0 || appId.isEmpty())
        return std::nullopt;
    FrontApp app;
    app.appId = appId;
    app.pid = pid;
    app.displayName = m_entries.displayName({appId, instance}).value_or(appId);
    app.windowTitle = node.value(u"name").toString();
    app.terminal = KnownTerminals::contains({appId, instance});
    return app;
}

std::optional<FrontApp> SwayWorkspace::frontApp()
{
    for (const QJsonObject& window : windows()) {
        if (window.value(u"focused").toBool())
            return appOf(window);
    }
    return std::nullopt;
}

QList<RunningApp> SwayWorkspace::runningApps()
{
    const qint64 self = QCoreApplication::applicationPid();
    QList<RunningApp> apps;
    for (const QJsonObject& window : windows()) {
        const auto app = appOf(window);
        if (!app || app->pid == self)
            continue;
        const bool seen = std::any_of(apps.cbegin(), apps.cend(),
                                      [&](const RunningApp& a) { return a.appId == app->appId; });
        if (!seen)
            apps.append({app->appId, app->displayName});
    }
    std::sort(apps.begin(), apps.end(), [](const RunningApp& a, const RunningApp& b) {
        const int byName = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.appId < b.appId;
    });
    return apps;
}

} // namespace quillet
