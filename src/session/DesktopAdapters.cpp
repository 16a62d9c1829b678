#include "session/DesktopAdapters.h"

#include "atspi/AtspiAccessibility.h"
#include "atspi/AtspiWorkspace.h"
#include "dbus/CommandKeyMonitor.h"
#include "evdev/EvdevKeyMonitor.h"
#include "evdev/UinputPasteSender.h"
#include "portal/GlobalShortcutsKeyMonitor.h"
#include "portal/RemoteDesktopPasteSender.h"
#include "session/FallbackKeyMonitor.h"
#include "session/FallbackPasteSender.h"
#include "wayland/DataControlPasteboard.h"
#include "wayland/LayerShellOverlay.h"
#include "wayland/SeatKeymap.h"
#include "wayland/SwayIpc.h"
#include "wayland/SwayWorkspace.h"
#include "wayland/VirtualKeyboardPasteSender.h"
#include "wayland/WaylandConnection.h"
#include "x11/QtPasteboard.h"
#include "x11/X11KeyMonitor.h"
#include "x11/X11PasteSender.h"
#include "x11/X11Workspace.h"

#include <QJsonObject>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace quillet {

using Adapter = AdapterChoice::Adapter;
using Function = AdapterChoice::Function;

DesktopAdapters::DesktopAdapters(SessionInfo session, Clock& clock,
                                 AtspiAccessibility& accessibility, QObject* parent)
    : QObject(parent)
    , m_session(std::move(session))
{
    if (m_session.kind == SessionInfo::Kind::wayland) {
        m_wayland = WaylandConnection::open();
        if (m_wayland)
            m_keymap = std::make_unique<SeatKeymap>(*m_wayland);
    }
    makeKeyMonitor(clock);
    makePasteSender();
    makePasteboard();
    makeWorkspace(accessibility);
    makeOverlay();
}

DesktopAdapters::~DesktopAdapters()
{
    // Everything on the Wayland connection goes before it.
    m_keyMonitor.reset();
    m_pasteSender.reset();
    m_pasteSenders.clear();
    m_pasteboard.reset();
    m_workspace.reset();
    m_overlay.reset();
    m_keymap.reset();
}

KeyMonitor& DesktopAdapters::keyMonitor() const
{
    return *m_keyMonitor;
}

PasteSender& DesktopAdapters::pasteSender() const
{
    return *m_pasteSender;
}

void DesktopAdapters::makeKeyMonitor(Clock& clock)
{
    std::vector<std::unique_ptr<KeyMonitor>> monitors;
    for (const Adapter a : AdapterChoice::candidates(Function::pushToTalkKey, m_session)) {
        switch (a) {
        case Adapter::xinputKeys:
            monitors.push_back(std::make_unique<X11KeyMonitor>());
            break;
        case Adapter::evdevKeys:
            monitors.push_back(std::make_unique<EvdevKeyMonitor>());
            break;
        case Adapter::portalShortcut:
            monitors.push_back(std::make_unique<GlobalShortcutsKeyMonitor>());
            break;
        case Adapter::shortcutCommands:
            monitors.push_back(std::make_unique<CommandKeyMonitor>(clock));
            break;
        default:
            continue;
        }
        m_keyAdapters << a;
    }
    m_keyMonitor = std::make_unique<FallbackKeyMonitor>(std::move(monitors));
    connect(m_keyMonitor.get(), &KeyMonitor::availableChanged, this,
            &DesktopAdapters::statusChanged);
}

void DesktopAdapters::makePasteSender()
{
    QList<PasteSender*> senders;
    for (const Adapter a : AdapterChoice::candidates(Function::paste, m_session)) {
        std::unique_ptr<PasteSender> sender;
        switch (a) {
        case Adapter::xtestPaste:
            sender = std::make_unique<X11PasteSender>();
            break;
        case Adapter::virtualKeyboard:
            if (m_wayland && m_keymap)
                sender = std::make_unique<VirtualKeyboardPasteSender>(*m_wayland, *m_keymap);
            break;
        case Adapter::remoteDesktop: {
            auto portal = std::make_unique<RemoteDesktopPasteSender>();
            m_remoteDesktop = portal.get();
            connect(portal.get(), &RemoteDesktopPasteSender::availableChanged, this,
                    &DesktopAdapters::statusChanged);
            sender = std::move(portal);
            break;
        }
        case Adapter::uinputPaste: {
            SeatKeymap* keymap = m_keymap.get();
            // Kernel key codes go through the compositor's idea of the layout.
            sender = std::make_unique<UinputPasteSender>([keymap] {
                UinputPasteSender::Keys keys;
                const auto layout = keymap ? keymap->keymap() : std::nullopt;
                if (!layout)
                    return keys;
                if (const auto v = layout->find(XKB_KEY_v); v && v->modifiers == 0)
                    keys.v = int(v->code);
                if (const auto ctrl = layout->find(XKB_KEY_Control_L))
                    keys.control = int(ctrl->code);
                if (const auto shift = layout->find(XKB_KEY_Shift_L))
                    keys.shift = int(shift->code);
                return keys;
            });
            break;
        }
        default:
            break;
        }
        if (!sender)
            continue;
        senders << sender.get();
        m_pasteAdapters << a;
        m_pasteSenders.push_back(std::move(sender));
    }
    m_pasteSender = std::make_unique<FallbackPasteSender>(senders);
    // The desktop asks the user only when nothing better than its portal can type.
    if (m_remoteDesktop && pasteAdapter() == Adapter::copyOnly)
        m_remoteDesktop->start();
}

void DesktopAdapters::makePasteboard()
{
    for (const Adapter a : AdapterChoice::candidates(Function::clipboard, m_session)) {
        if (a == Adapter::dataControl) {
            if (!m_wayland)
                continue;
            auto dataControl = std::make_unique<DataControlPasteboard>(*m_wayland);
            if (!dataControl->isAvailable())
                continue;
            m_pasteboard = std::move(dataControl);
        } else {
            m_pasteboard = std::make_unique<QtPasteboard>();
        }
        m_pasteboardAdapter = a;
        return;
    }
}

void DesktopAdapters::makeWorkspace(AtspiAccessibility& accessibility)
{
    for (const Adapter a : AdapterChoice::candidates(Function::frontApp, m_session)) {
        std::unique_ptr<Workspace> workspace;
        if (a == Adapter::windowManager)
            workspace = std::make_unique<X11Workspace>();
        else if (a == Adapter::swayIpc)
            workspace = std::make_unique<SwayWorkspace>();
        // AT-SPI connects on the event loop: it is the last resort whether or not it is there yet.
        else
            workspace = std::make_unique<AtspiWorkspace>(accessibility);
        if (a != Adapter::accessibilityWindow && !workspace->isAvailable())
            continue;
        m_workspace = std::move(workspace);
        m_workspaceAdapter = a;
        return;
    }
}

void DesktopAdapters::makeOverlay()
{
    for (const Adapter a : AdapterChoice::candidates(Function::pill, m_session)) {
        if (a == Adapter::layerShell) {
            if (!m_wayland)
                continue;
            auto overlay = std::make_unique<LayerShellOverlay>(*m_wayland);
            if (!overlay->isAvailable())
                continue;
            m_overlay = std::move(overlay);
        }
        // The X11 ones are the HUD's own window.
        m_pillAdapter = a;
        return;
    }
}

Overlay* DesktopAdapters::overlay() const
{
    return m_overlay.get();
}

Adapter DesktopAdapters::keyAdapter() const
{
    const int active = m_keyMonitor->activeIndex();
    if (active >= 0 && active < m_keyAdapters.size())
        return m_keyAdapters[active];
    return Adapter::shortcutCommands;
}

Adapter DesktopAdapters::pasteAdapter() const
{
    const int active = m_pasteSender->active();
    return active >= 0 ? m_pasteAdapters[active] : Adapter::copyOnly;
}

QList<AdapterChoice::Status> DesktopAdapters::status() const
{
    QList<AdapterChoice::Status> out;
    for (const Function f : AdapterChoice::functions) {
        switch (f) {
        case Function::pushToTalkKey: {
            const Adapter a = keyAdapter();
            QString detail;
            if (a == Adapter::portalShortcut) {
                const auto* portal = qobject_cast<GlobalShortcutsKeyMonitor*>(
                    m_keyMonitor->candidate(m_keyMonitor->activeIndex()));
                detail = portal ? portal->trigger() : QString();
            }
            out << AdapterChoice::status(f, a, m_session, detail);
            break;
        }
        case Function::paste:
            out << AdapterChoice::status(f, pasteAdapter(), m_session,
                                         m_remoteDesktop && m_remoteDesktop->isStarting()
                                             ? AdapterChoice::asking
                                             : QString());
            break;
        case Function::clipboard:
            out << AdapterChoice::status(f, m_pasteboardAdapter, m_session);
            break;
        case Function::pill:
            out << AdapterChoice::status(f, m_pillAdapter, m_session);
            break;
        case Function::frontApp:
            out << AdapterChoice::status(f, m_workspaceAdapter, m_session);
            break;
        }
    }
    return out;
}

bool DesktopAdapters::pushToTalkReady() const
{
    switch (keyAdapter()) {
    case Adapter::xinputKeys:
    case Adapter::evdevKeys:
    case Adapter::portalShortcut:
        return m_keyMonitor->isAvailable();
    case Adapter::shortcutCommands: {
        // sway's configuration says whether the user has bound the commands.
        if (!m_session.swayIpc)
            return false;
        const auto config = SwayIpc().request(SwayIpc::Message::getConfig);
        return config && config->object().value(u"config").toString().contains(
                             QLatin1String("quillet ptt begin"));
    }
    default:
        return false;
    }
}

void DesktopAdapters::allowTyping()
{
    if (m_remoteDesktop)
        m_remoteDesktop->start();
}

} // namespace quillet
