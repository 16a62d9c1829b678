#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace quillet {

// What the settings' "Desktop integration" section shows: for each desktop function (the
// push-to-talk key, pasting, the clipboard, the pill, the front application) the way this session
// provides it, whether that works with nothing to set up, and how the user can fix what is
// missing. The application implements it over the adapters it chose at start.
class DesktopIntegration : public QObject {
    Q_OBJECT
public:
    struct Row {
        enum class Fix {
            none,
            // Copy `command` to the clipboard, for the user to run in a terminal or paste into
            // a configuration file.
            copyCommand,
            // Start `command` (a program and its arguments, split on spaces) apart from Quillet.
            runCommand,
            // Ask the desktop again to let Quillet type (allowTyping()).
            allowTyping,
        };
        // What the function is ("Push-to-talk key") and what serves it now.
        QString function;
        QString adapter;
        bool works = true;
        // What is missing for it to work, or to work better; empty when nothing is.
        QString missing;
        Fix fix = Fix::none;
        // The fix's button text.
        QString fixLabel;
        QString command;

        friend bool operator==(const Row&, const Row&) = default;
    };

    using QObject::QObject;

    // One row per function, in display order.
    virtual QList<Row> rows() const = 0;
    virtual void allowTyping() = 0;

signals:
    // rows() changed: an adapter became available or was lost.
    void changed();
};

} // namespace quillet
