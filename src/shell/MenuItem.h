#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

namespace quillet {

// One row of the tray menu, as data: what it shows and what choosing it does.
struct MenuItem {
    enum class Kind {
        text, // a line to read
        divider,
        toggle,
        picker, // one choice among several
        button,
    };
    enum class Action {
        none,
        perApp,
        otherApps,
        pasteLast,
        installUpdate,
        checkForUpdates,
        settings,
        quit,
    };
    struct Choice {
        QString id;
        QString name;
        friend bool operator==(const Choice&, const Choice&) = default;
    };

    Kind kind = Kind::text;
    Action action = Action::none;
    QString text;
    bool enabled = true;
    bool checked = false; // a toggle that is on
    QKeySequence shortcut;
    QList<Choice> choices; // a picker's, in order
    QString selected;      // the picker's current choice

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

} // namespace quillet
