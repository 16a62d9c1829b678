#pragma once

#include "desktop/DesktopFixture.h"
#include "processing/FakeChatService.h"
#include "processing/ProviderSettings.h"
#include "processing/TextProcessor.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace quillet::test {

// The settings window over the desktop core's fakes: a store in a temporary folder, a keyring
// holding a speech key, a controller, a chat service that answers from a queue, an autostart
// file in a temporary folder, and actions that only record what they were asked.
struct SettingsFixture {
    DesktopFixture desk;
    Preferences& prefs = desk.prefs;
    Store& store = desk.store;
    ManualClock& clock = desk.clock;
    FakeChatService chat;
    ProviderSettings providers{
        prefs, [this](const QString& account) { return desk.keys.readKey(account); },
        [] { return KeyStore::builtInKey("CEREBRAS_API_KEY", "CerebrasAPIKey"); }};
    TextProcessor processor{chat, providers, clock};
    QTemporaryDir autostart;
    QStringList launched; // "program arg ..."
    int accessibilityEnabled = 0;
    bool keysReachApps = true;
    const Updater* updater = nullptr;
    std::unique_ptr<SettingsWindow> window;

    // `prepare` sets up the desktop before the controller looks at it.
    explicit SettingsFixture(const std::function<void(DesktopFixture&)>& prepare = {},
                             const Updater* withUpdater = nullptr)
        : updater(withUpdater)
    {
        if (prepare)
            prepare(desk);
        desk.makeController();
        window = std::make_unique<SettingsWindow>(services());
        chat.clock = &clock;
    }

    SettingsServices services()
    {
        SettingsServices services(prefs, store, desk.keys, providers, processor, *desk.controller,
                                  desk.workspace, clock);
        services.updater = updater;
        services.loginItem = LoginItem(autostartFile(), QStringLiteral("/opt/Quillet/quillet"));
        services.enableAccessibility = [this] { ++accessibilityEnabled; };
        services.canSendKeys = [this] { return keysReachApps; };
        services.launch = [this](const QString& program, const QStringList& arguments) {
            launched << (QStringList{program} + arguments).join(u' ');
            return true;
        };
        services.appName = [](const QString& appId) -> std::optional<QString> {
            if (appId == u"Slack")
                return QStringLiteral("Slack Desktop");
            return std::nullopt;
        };
        return services;
    }

    QString autostartFile() const { return autostart.filePath("autostart/quillet.desktop"); }

    // Opens the window on the tab with `tag` and returns that tab's content.
    template <typename View> View& open(int tag)
    {
        window->show(tag);
        return *qobject_cast<View*>(window->view()->content(tag));
    }
};

// The child of `root` whose text (button, label) is `text`, visible or not.
template <typename W = QWidget> W* withText(QWidget* root, const QString& text)
{
    for (W* w : root->findChildren<W*>()) {
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->text() == text)
            return w;
        if (auto* l = qobject_cast<QLabel*>(w); l && l->text() == text)
            return w;
    }
    return nullptr;
}

// The child of `root` whose accessible name is `name`.
template <typename W = QWidget> W* named(QWidget* root, const QString& name)
{
    for (W* w : root->findChildren<W*>()) {
        if (w->accessibleName() == name)
            return w;
    }
    return nullptr;
}

// Picks the entry `text` of `picker` as the user does.
inline void choose(QComboBox* picker, const QString& text)
{
    const int index = picker->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    picker->setCurrentIndex(index);
    emit picker->activated(index);
}

} // namespace quillet::test
