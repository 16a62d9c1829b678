#pragma once

#include "util/Result.h"

#include <QString>

namespace quillet {

// "Launch at login": the desktop's autostart entry $XDG_CONFIG_HOME/autostart/quillet.desktop.
// The file is the only record of the choice.
class LoginItem {
public:
    // The default file, starting defaultCommand().
    LoginItem();
    LoginItem(QString filePath, QString command);

    static QString defaultPath();
    // What starts this copy of Quillet: the AppImage it runs from, else the installed command
    // "quillet" when that is this program, else this program's absolute path.
    static QString defaultCommand();

    const QString& filePath() const { return m_filePath; }
    const QString& command() const { return m_command; }

    // The entry exists and does not disable itself (Hidden, or GNOME's enabled key).
    bool isEnabled() const;
    // Writes the entry, or removes it.
    Result<void> setEnabled(bool on) const;

    // `command` as one argument of a desktop entry's Exec key, quoted and escaped as needed.
    static QString execArgument(const QString& command);

private:
    QString m_filePath;
    QString m_command;
};

} // namespace quillet
