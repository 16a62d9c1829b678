#pragma once

#include "session/SessionInfo.h"

#include <QList>
#include <QString>

namespace quillet {

// Which adapter serves each desktop function, from what the session offers: the candidates in
// order of preference (the program takes the first that works), and what the settings tell the
// user about the one in use. Nothing here touches the desktop.
class AdapterChoice {
public:
    enum class Function {
        pushToTalkKey,
        paste,
        clipboard,
        pill,
        frontApp,
    };

    enum class Adapter {
        // The push-to-talk key.
        xinputKeys,
        evdevKeys,
        portalShortcut,
        shortcutCommands,
        // The paste chord.
        xtestPaste,
        virtualKeyboard,
        remoteDesktop,
        uinputPaste,
        copyOnly,
        // The clipboard.
        x11Clipboard,
        dataControl,
        xwaylandClipboard,
        focusedClipboard,
        // The pill.
        x11Overlay,
        layerShell,
        xwaylandOverlay,
        trayOnly,
        // The front application.
        windowManager,
        swayIpc,
        accessibilityWindow,
    };

    // How the user can add what is missing: a command to copy and run in a terminal, a command
    // the settings run, or one of the program's own actions.
    struct FixIt {
        enum class Kind {
            none,
            copyCommand,
            runCommand,
            allowTyping,
        };
        Kind kind = Kind::none;
        // The button's text.
        QString label;
        // The command, for the two command kinds.
        QString command;

        friend bool operator==(const FixIt&, const FixIt&) = default;
    };

    // One line of the settings' "Desktop integration" section.
    struct Status {
        Function function;
        Adapter adapter;
        // What the function is ("Push-to-talk key") and what serves it now.
        QString functionName;
        QString adapterName;
        // The function does its job as the user expects, with nothing to set up.
        bool works = true;
        // What is missing for it to work, or to work better; empty when nothing is.
        QString missing;
        FixIt fix;

        friend bool operator==(const Status&, const Status&) = default;
    };

    // The detail of a paste that waits for the user's answer to the desktop's dialog.
    static inline const QString asking = QStringLiteral("asking");

    static constexpr Function functions[] = {Function::pushToTalkKey, Function::paste,
                                             Function::clipboard, Function::pill,
                                             Function::frontApp};

    // Best first; the last one always exists.
    static QList<Adapter> candidates(Function function, const SessionInfo& session);
    // The settings' line for `function` served by `adapter`; `detail` adds what only the adapter
    // knows (the chord a desktop shortcut is bound to, or `asking` while the desktop asks).
    static Status status(Function function, Adapter adapter, const SessionInfo& session,
                         const QString& detail = {});
    static QString name(Adapter adapter);
    static QString name(Function function);
};

} // namespace quillet
