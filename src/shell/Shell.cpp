#include "shell/Shell.h"

#include "desktop/Controller.h"
#include "desktop/Dictation.h"
#include "shell/MenuContent.h"
#include "shell/MenuIcon.h"
#include "store/KeyStore.h"
#include "store/Preferences.h"

#include <QCursor>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

namespace quillet {

Shell::Shell(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_menu(std::make_unique<MenuContent>(
          MenuContent::Services{m_services.controller, m_services.store, m_services.updater,
                                [this] { openSettings(); }, m_services.quit}))
{
    Dictation* dictation = m_services.controller.dictation();
    m_tray.setIcon(MenuIcon::forPhase(dictation->phase()));
    m_tray.setToolTip(QStringLiteral("Quillet"));
    m_tray.setContextMenu(m_menu->menu());
    connect(dictation, &Dictation::phaseChanged, this, [this](Dictation::Phase phase) {
        const bool active = MenuIcon::isActive(phase);
        if (m_tray.property("active").toBool() != active) {
            m_tray.setProperty("active", active);
            m_tray.setIcon(MenuIcon::forPhase(phase));
        }
    });
    // A left click shows the same menu as a right click.
    connect(&m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) {
                if (r == QSystemTrayIcon::Trigger)
                    m_menu->menu()->popup(QCursor::pos());
            });
}

Shell::~Shell() = default;

LaunchRule Shell::launchRule() const
{
    const Preferences& prefs = m_services.prefs;
    LaunchRule rule;
    rule.automation = prefs.selftest() || prefs.updateNow() || prefs.verifyUpdate().has_value();
    rule.axTrusted = m_services.controller.axTrusted();
    rule.micAllowed = m_services.controller.micAllowed();
    rule.hasSpeechKey = m_services.keys.speechKey().has_value();
    rule.showSettings = prefs.showSettings();
    rule.hasTray = m_hasTray;
    return rule;
}

void Shell::launch()
{
    m_hasTray = m_services.trayAvailable && m_services.trayAvailable();
    // Shown even without a tray: a tray that comes up later (a panel started after us) finds it.
    m_tray.show();
    if (launchRule().opensSettings())
        openSettings();
}

void Shell::activate()
{
    openSettings();
}

void Shell::openSettings()
{
    QWidget* window = m_services.showSettings ? m_services.showSettings() : nullptr;
    if (!window)
        return;
    if (!m_hasTray)
        offerMenu(window);
    emit settingsOpened(window);
}

void Shell::offerMenu(QWidget* window)
{
    if (m_menuHost == window)
        return;
    m_menuHost = window;
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        main->menuBar()->addMenu(m_menu->menu());
        return;
    }
    auto* bar = new QMenuBar(window);
    bar->addMenu(m_menu->menu());
    if (QLayout* layout = window->layout())
        layout->setMenuBar(bar);
}

} // namespace quillet
