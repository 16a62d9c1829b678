#include "settings/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillet {

LoginItem::LoginItem()
    : LoginItem(defaultPath(), defaultCommand())
{}

LoginItem::LoginItem(QString filePath, QString command)
    : m_filePath(std::move(filePath))
    , m_command(std::move(command))
{}

QString LoginItem::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart/quillet.desktop");
}

QString LoginItem::defaultCommand()
{
    // An AppImage unpacks itself to a different folder on every start: only the image stays put.
    const QString image = qEnvironmentVariable("APPIMAGE");
    if (!image.isEmpty())
        return image;
    const QString self = QCoreApplication::applicationFilePath();
    const QString installed = QStandardPaths::findExecutable(QStringLiteral("quillet"));
    if (!installed.isEmpty() &&
        QFileInfo(installed).canonicalFilePath() == QFileInfo(self).canonicalFilePath())
        return QStringLiteral("quillet");
    return self;
}

bool LoginItem::isEnabled() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // Only the main group counts; a later group may carry keys of the same names.
    bool main = false;
    bool enabled = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            main = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!main || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if ((key == u"Hidden" && value == u"true") ||
            (key == u"X-GNOME-Autostart-enabled" && value == u"false"))
            enabled = false;
    }
    return enabled;
}

Result<void> LoginItem::setEnabled(bool on) const
{
    if (!on) {
        if (QFileInfo::exists(m_filePath) && !QFile::remove(m_filePath))
            return Result<void>::failure(QStringLiteral("Couldn't remove %1").arg(m_filePath));
        return {};
    }
    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return Result<void>::failure(QStringLiteral("Couldn't create the autostart folder"));
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Quillet\n"
                                        "Comment=Push-to-talk dictation\n"
                                        "Exec=%1\n"
                                        "Icon=quillet\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execArgument(m_command));
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return Result<void>::failure(file.errorString());
    return {};
}

QString LoginItem::execArgument(const QString& command)
{
    // Field codes start with "%", so a literal one is doubled; reserved characters need quotes,
    // inside which ", `, $ and \ are escaped with a backslash. The key's string escaping then
    // doubles every backslash once more.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString arg = command;
    arg.replace(u'%', QStringLiteral("%%"));
    const bool quote =
        std::any_of(arg.cbegin(), arg.cend(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString quoted;
        for (const QChar c : arg) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        arg = u'"' + quoted + u'"';
    }
    return arg.replace(u'\\', QStringLiteral("\\\\"));
}

} // namespace quillet
