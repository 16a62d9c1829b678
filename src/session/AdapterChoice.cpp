#include "session/AdapterChoice.h"

namespace quillet {

namespace {

using Adapter = AdapterChoice::Adapter;
using Function = AdapterChoice::Function;
using FixIt = AdapterChoice::FixIt;

// Where the Debian package puts the optional access rule (packaging/70-quillet-input.rules).
const QString udevRule = QStringLiteral("/usr/share/quillet/udev/70-quillet-input.rules");

bool wayland(const SessionInfo& s)
{
    return s.kind == SessionInfo::Kind::wayland;
}

bool x11(const SessionInfo& s)
{
    return s.kind == SessionInfo::Kind::x11;
}

FixIt inputGroup(const SessionInfo& s)
{
    const QString user = s.user.isEmpty() ? QStringLiteral("$USER") : s.user;
    return {FixIt::Kind::copyCommand, QStringLiteral("Copy command"),
            QStringLiteral("sudo usermod -aG input %1").arg(user)};
}

// Some keyboard is there but cannot be read: reading it is the better way.
bool keyboardsLocked(const SessionInfo& s)
{
    return s.keyboards > s.readableKeyboards;
}

QString inputGroupText()
{
    return QStringLiteral("Quillet cannot read the keyboard devices. Add yourself to the input "
                          "group (copy the command, run it in a terminal, then log out and back "
                          "in) and Right Alt works on its own. Any program you run can then read "
                          "your keystrokes too.");
}

AdapterChoice::Status keyStatus(AdapterChoice::Status st, const SessionInfo& s,
                                const QString& detail)
{
    switch (st.adapter) {
    case Adapter::portalShortcut:
        if (!detail.isEmpty())
            st.adapterName += QStringLiteral(" (%1)").arg(detail);
        st.missing = QStringLiteral("The desktop binds a key combination, not a single key, and "
                                    "Escape and Shift are not seen while you talk.");
        if (keyboardsLocked(s)) {
            st.missing += u' ' + inputGroupText();
            st.fix = inputGroup(s);
        } else if (s.isDesktop("KDE")) {
            st.fix = {FixIt::Kind::runCommand, QStringLiteral("Change shortcut"),
                      QStringLiteral("systemsettings kcm_keys")};
        }
        return st;
    case Adapter::shortcutCommands:
        st.works = false;
        if (s.swayIpc || s.isDesktop("sway")) {
            st.missing = QStringLiteral("Bind Right Alt in sway's configuration so that it runs "
                                        "\"quillet ptt begin\" when pressed and \"quillet ptt "
                                        "end\" when released, then reload sway.");
            st.fix = {FixIt::Kind::copyCommand, QStringLiteral("Copy sway lines"),
                      // Right Alt by its key code: layouts that make it AltGr (German, French)
                      // have no Alt_R to bind.
                      QStringLiteral("bindcode --no-repeat 108 exec quillet ptt begin\n"
                                     "bindcode --release 108 exec quillet ptt end")};
        } else if (keyboardsLocked(s)) {
            st.missing = inputGroupText();
            st.fix = inputGroup(s);
        } else {
            st.missing = QStringLiteral("Quillet cannot see the keyboard here. Make a shortcut in "
                                        "your desktop's keyboard settings that runs \"quillet "
                                        "toggle\": press it to start dictating, again to stop.");
            st.fix = {FixIt::Kind::copyCommand, QStringLiteral("Copy command"),
                      QStringLiteral("quillet toggle")};
        }
        return st;
    default:
        return st;
    }
}

AdapterChoice::Status pasteStatus(AdapterChoice::Status st, const SessionInfo& s,
                                  const QString& detail)
{
    switch (st.adapter) {
    case Adapter::remoteDesktop:
        if (s.portals.value(QStringLiteral("org.freedesktop.portal.RemoteDesktop")) < 2)
            st.missing = QStringLiteral("The desktop asks again each time Quillet starts.");
        return st;
    case Adapter::copyOnly:
        st.works = false;
        if (detail == AdapterChoice::asking) {
            st.missing = QStringLiteral("The desktop is asking whether Quillet may type: answer "
                                        "its dialog.");
            return st;
        }
        st.missing = QStringLiteral("Nothing on this desktop lets Quillet press the paste "
                                    "shortcut: the text is copied and you press Ctrl+V.");
        if (s.hasPortal("org.freedesktop.portal.RemoteDesktop")) {
            st.missing += QStringLiteral(" The desktop can let Quillet type if you allow it.");
            st.fix = {FixIt::Kind::allowTyping, QStringLiteral("Allow typing"), {}};
        } else if (!s.uinputWritable && s.kind != SessionInfo::Kind::x11) {
            st.missing += QStringLiteral(" The access rule that comes with Quillet lets it make a "
                                         "virtual keyboard; any program you run could then read "
                                         "and type keystrokes too.");
            st.fix = {FixIt::Kind::copyCommand, QStringLiteral("Copy command"),
                      QStringLiteral("sudo ln -sf %1 /etc/udev/rules.d/ && sudo udevadm control "
                                     "--reload && sudo udevadm trigger")
                          .arg(udevRule)};
        }
        return st;
    default:
        return st;
    }
}

} // namespace

QList<Adapter> AdapterChoice::candidates(Function function, const SessionInfo& s)
{
    QList<Adapter> out;
    switch (function) {
    case Function::pushToTalkKey:
        if (x11(s))
            out << Adapter::xinputKeys;
        else if (s.keyboards > 0)
            out << Adapter::evdevKeys;
        if (wayland(s) && s.hasPortal("org.freedesktop.portal.GlobalShortcuts"))
            out << Adapter::portalShortcut;
        out << Adapter::shortcutCommands;
        break;
    case Function::paste:
        if (x11(s))
            out << Adapter::xtestPaste;
        if (wayland(s) && s.hasGlobal("zwp_virtual_keyboard_manager_v1"))
            out << Adapter::virtualKeyboard;
        if (wayland(s) && s.hasPortal("org.freedesktop.portal.RemoteDesktop"))
            out << Adapter::remoteDesktop;
        if (!x11(s) && s.uinputWritable)
            out << Adapter::uinputPaste;
        out << Adapter::copyOnly;
        break;
    case Function::clipboard:
        if (x11(s)) {
            out << Adapter::x11Clipboard;
            break;
        }
        if (s.hasGlobal("ext_data_control_manager_v1") ||
            s.hasGlobal("zwlr_data_control_manager_v1"))
            out << Adapter::dataControl;
        if (wayland(s) && s.qtPlatform == u"xcb")
            out << Adapter::xwaylandClipboard;
        out << Adapter::focusedClipboard;
        break;
    case Function::pill:
        if (x11(s)) {
            out << Adapter::x11Overlay;
            break;
        }
        if (wayland(s) && s.hasGlobal("zwlr_layer_shell_v1"))
            out << Adapter::layerShell;
        if (wayland(s) && s.qtPlatform == u"xcb")
            out << Adapter::xwaylandOverlay;
        out << Adapter::trayOnly;
        break;
    case Function::frontApp:
        if (x11(s))
            out << Adapter::windowManager;
        if (wayland(s) && s.swayIpc)
            out << Adapter::swayIpc;
        out << Adapter::accessibilityWindow;
        break;
    }
    return out;
}

AdapterChoice::Status AdapterChoice::status(Function function, Adapter adapter,
                                            const SessionInfo& s, const QString& detail)
{
    Status st{function, adapter, name(function), name(adapter), true, {}, {}};
    switch (function) {
    case Function::pushToTalkKey:
        return keyStatus(st, s, detail);
    case Function::paste:
        return pasteStatus(st, s, detail);
    case Function::clipboard:
        if (adapter == Adapter::focusedClipboard) {
            st.works = false;
            st.missing = QStringLiteral("The clipboard can be read only while a Quillet window "
                                        "has the focus: what you had copied is not put back "
                                        "after a dictation.");
        }
        return st;
    case Function::pill:
        if (adapter == Adapter::trayOnly) {
            st.works = false;
            st.missing = QStringLiteral("The pill needs a layer shell or Xwayland, and this "
                                        "desktop offers neither; the tray icon shows when "
                                        "Quillet is listening.");
        }
        return st;
    case Function::frontApp:
        if (adapter == Adapter::accessibilityWindow && !x11(s))
            st.missing = QStringLiteral("Per-application modes know only applications that "
                                        "take part in accessibility (GTK and Qt ones do).");
        return st;
    }
    return st;
}

QString AdapterChoice::name(Function function)
{
    switch (function) {
    case Function::pushToTalkKey:
        return QStringLiteral("Push-to-talk key");
    case Function::paste:
        return QStringLiteral("Pasting");
    case Function::clipboard:
        return QStringLiteral("Clipboard");
    case Function::pill:
        return QStringLiteral("Floating pill");
    case Function::frontApp:
        return QStringLiteral("Front application");
    }
    return {};
}

QString AdapterChoice::name(Adapter adapter)
{
    switch (adapter) {
    case Adapter::xinputKeys:
        return QStringLiteral("X11 key events");
    case Adapter::evdevKeys:
        return QStringLiteral("Keyboard devices");
    case Adapter::portalShortcut:
        return QStringLiteral("Desktop shortcut");
    case Adapter::shortcutCommands:
        return QStringLiteral("Shortcut commands (quillet ptt, quillet toggle)");
    case Adapter::xtestPaste:
        return QStringLiteral("X11 test keyboard");
    case Adapter::virtualKeyboard:
        return QStringLiteral("Virtual keyboard");
    case Adapter::remoteDesktop:
        return QStringLiteral("Remote desktop portal");
    case Adapter::uinputPaste:
        return QStringLiteral("Kernel virtual keyboard (uinput)");
    case Adapter::copyOnly:
        return QStringLiteral("Copy only");
    case Adapter::x11Clipboard:
        return QStringLiteral("X11 clipboard");
    case Adapter::dataControl:
        return QStringLiteral("Wayland clipboard manager protocol");
    case Adapter::xwaylandClipboard:
        return QStringLiteral("X11 clipboard through Xwayland");
    case Adapter::focusedClipboard:
        return QStringLiteral("Toolkit clipboard");
    case Adapter::x11Overlay:
        return QStringLiteral("X11 overlay window");
    case Adapter::layerShell:
        return QStringLiteral("Layer-shell overlay");
    case Adapter::xwaylandOverlay:
        return QStringLiteral("X11 overlay window through Xwayland");
    case Adapter::trayOnly:
        return QStringLiteral("None (tray icon)");
    case Adapter::windowManager:
        return QStringLiteral("X11 window manager");
    case Adapter::swayIpc:
        return QStringLiteral("sway window tree");
    case Adapter::accessibilityWindow:
        return QStringLiteral("Accessibility (AT-SPI)");
    }
    return {};
}

} // namespace quillet
