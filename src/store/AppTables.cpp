#include "store/AppTables.h"

#include <initializer_list>
#include <utility>

namespace quillet {

namespace {

using Ids = std::initializer_list<const char*>;

void assign(QMap<QString, QString>& table, Ids ids, const char* modeId)
{
    for (const char* id : ids)
        table.insert(QString::fromLatin1(id), QString::fromLatin1(modeId));
}

QMap<QString, QString> buildDefaultApps()
{
    QMap<QString, QString> table;
    // macOS bundle identifiers.
    assign(table,
           Ids{"net.whatsapp.WhatsApp", "com.apple.MobileSMS", "com.tinyspeck.slackmacgap",
               "com.hnc.Discord", "com.tdesktop.Telegram", "ru.keepcoder.Telegram",
               "org.whispersystems.signal-desktop", "com.microsoft.teams2", "com.facebook.archon",
               "com.fernwick.natterly"},
           "chat");
    assign(table,
           Ids{"com.mitchellh.ghostty", "com.apple.Terminal", "com.googlecode.iterm2",
               "dev.warp.Warp-Stable", "com.microsoft.VSCode", "com.todesktop.230313mzl4w4u92",
               "com.apple.dt.Xcode", "dev.zed.Zed", "com.exafunction.windsurf",
               "com.anthropic.claudefordesktop", "com.openai.chat", "com.openai.codex",
               "ai.opencode.desktop", "com.stablyai.orca", "com.nousresearch.hermes"},
           "code");
    assign(table,
           Ids{"com.apple.iWork.Pages", "com.apple.iWork.Keynote", "com.microsoft.Word",
               "notion.id", "md.obsidian", "net.shinyfrog.bear", "com.lukilabs.lukiapp",
               "com.apple.Notes", "com.apple.TextEdit", "com.apple.mail",
               "com.readdle.SparkDesktop", "com.readdle.SparkDesktop-setapp", "com.granola.app"},
           "write");

    // X11 application ids: the class part of WM_CLASS, as the applications' .desktop files
    // declare it in StartupWMClass. Matching ignores case, so each is listed once.
    assign(table,
           Ids{"Slack", "discord", "TelegramDesktop", "Signal", "teams-for-linux", "Caprine",
               "zapzap", "Element"},
           "chat");
    // Ghostty and Zed use the same reverse-domain id on both systems (already listed above).
    // GNOME Terminal reports "Gnome-terminal" (older releases "Gnome-terminal-server").
    assign(table,
           Ids{"Gnome-terminal", "gnome-terminal-server", "konsole", "XTerm", "kitty", "Alacritty",
               "org.wezfurlong.wezterm", "Tilix", "Terminator", "Xfce4-terminal", "dev.warp.Warp",
               "Code", "VSCodium", "Cursor", "Windsurf", "Sublime_text"},
           "code");
    assign(table,
           Ids{"libreoffice-writer", "libreoffice-impress", "obsidian", "Joplin",
               "org.gnome.TextEditor", "thunderbird", "thunderbird-esr", "Evolution", "Mailspring"},
           "write");
    return table;
}

} // namespace

const QMap<QString, QString>& defaultApps()
{
    static const QMap<QString, QString> table = buildDefaultApps();
    return table;
}

const QList<WebApp>& webApps()
{
    static const QList<WebApp> rows{
        {QStringLiteral("Google Docs"), QStringLiteral("write")},
        {QStringLiteral("Gmail"), QStringLiteral("write")},
        {QStringLiteral("Notion"), QStringLiteral("write")},
        {QStringLiteral("Outlook"), QStringLiteral("write")},
        {QStringLiteral("WhatsApp"), QStringLiteral("chat")},
        {QStringLiteral("Slack"), QStringLiteral("chat")},
        {QStringLiteral("Messenger"), QStringLiteral("chat")},
        {QStringLiteral("Discord"), QStringLiteral("chat")},
        {QStringLiteral("Google Chat"), QStringLiteral("chat")},
        {QStringLiteral("ChatGPT"), QStringLiteral("code")},
        {QStringLiteral("Claude"), QStringLiteral("code")},
        {QStringLiteral("GitHub"), QStringLiteral("code")},
        {QStringLiteral("Linear"), QStringLiteral("code")},
    };
    return rows;
}

} // namespace quillet
