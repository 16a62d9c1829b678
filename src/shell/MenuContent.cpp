#include "shell/MenuContent.h"

#include "desktop/Controller.h"
#include "store/Store.h"
#include "update/Updater.h"

#include <QActionGroup>
#include <QPointer>

namespace quillet {

namespace {

MenuItem row(MenuItem::Kind kind, MenuItem::Action action = MenuItem::Action::none,
             const QString& text = {}, bool enabled = true)
{
    MenuItem item;
    item.kind = kind;
    item.action = action;
    item.text = text;
    item.enabled = enabled;
    return item;
}

} // namespace

QList<MenuItem> MenuContent::items(const Facts& facts)
{
    using Kind = MenuItem::Kind;
    using Action = MenuItem::Action;
    const bool perApp = facts.modes.perApp.value_or(false);

    QList<MenuItem> out;
    out.append(row(Kind::text, Action::none,
                   QStringLiteral("Hold %1 to dictate").arg(facts.hotkey.displayName()), false));
    out.append(row(Kind::text, Action::none, QStringLiteral("Double-tap to lock · ⇧ switches mode"),
                   false));
    out.append(row(Kind::divider));
    MenuItem toggle = row(Kind::toggle, Action::perApp, QStringLiteral("Pick mode by app"));
    toggle.checked = perApp;
    out.append(toggle);
    if (perApp) {
        MenuItem picker =
            row(Kind::picker, Action::otherApps, QStringLiteral("Mode in other apps"));
        picker.selected = facts.modes.otherApps;
        for (const Style& style : facts.modes.styles)
            picker.choices.append({style.id, style.name});
        out.append(picker);
    }
    if (facts.hasLastEntry)
        out.append(row(Kind::button, Action::pasteLast, QStringLiteral("Paste last dictation")));
    out.append(row(Kind::divider));
    if (facts.canUpdate && facts.available) {
        out.append(row(Kind::button, Action::installUpdate,
                       QStringLiteral("Install update %1 (%2)")
                           .arg(facts.available->version)
                           .arg(facts.available->build),
                       !facts.updaterBusy));
    } else if (facts.canUpdate) {
        out.append(row(Kind::button, Action::checkForUpdates, QStringLiteral("Check for Updates…"),
                       !facts.updaterBusy));
    }
    MenuItem settings = row(Kind::button, Action::settings, QStringLiteral("Settings…"));
    settings.shortcut = QKeySequence(Qt::CTRL | Qt::Key_Comma);
    out.append(settings);
    MenuItem quit = row(Kind::button, Action::quit, QStringLiteral("Quit Quillet"));
    quit.shortcut = QKeySequence(Qt::CTRL | Qt::Key_Q);
    out.append(quit);
    return out;
}

MenuContent::MenuContent(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    m_menu.setTitle(QStringLiteral("Quillet"));
    // Rebuilt only when something it shows changes: nothing runs while it sits unopened.
    connect(&m_services.controller, &Controller::hotkeyChanged, this, &MenuContent::rebuild);
    connect(&m_services.controller, &Controller::lastEntryChanged, this, &MenuContent::rebuild);
    connect(&m_services.store, &Store::modesChanged, this, &MenuContent::rebuild);
    if (Updater* updater = m_services.updater) {
        connect(updater, &Updater::availableChanged, this, &MenuContent::rebuild);
        connect(updater, &Updater::busyChanged, this, &MenuContent::rebuild);
    }
    rebuild();
}

MenuContent::~MenuContent() = default;

MenuContent::Facts MenuContent::facts() const
{
    Facts f;
    f.hotkey = m_services.controller.hotkey();
    f.modes = m_services.store.modes();
    f.hasLastEntry = m_services.controller.lastEntry().has_value();
    if (const Updater* updater = m_services.updater) {
        f.canUpdate = updater->canUpdate();
        f.available = updater->available();
        f.updaterBusy = updater->busy();
    }
    return f;
}

void MenuContent::rebuild()
{
    m_menu.clear();
    for (const MenuItem& item : items(facts()))
        addItem(item);
    emit rebuilt();
}

void MenuContent::addItem(const MenuItem& item)
{
    using Kind = MenuItem::Kind;
    switch (item.kind) {
    case Kind::divider:
        m_menu.addSeparator();
        return;
    case Kind::picker: {
        QMenu* sub = m_menu.addMenu(item.text);
        auto* group = new QActionGroup(sub);
        for (const MenuItem::Choice& choice : item.choices) {
            QAction* action = sub->addAction(choice.name);
            action->setCheckable(true);
            action->setChecked(choice.id == item.selected);
            action->setActionGroup(group);
            connect(action, &QAction::triggered, this,
                    [this, a = item.action, id = choice.id] { run(a, id); });
        }
        return;
    }
    case Kind::text:
    case Kind::toggle:
    case Kind::button: {
        QAction* action = m_menu.addAction(item.text);
        action->setEnabled(item.enabled);
        action->setShortcut(item.shortcut);
        if (item.kind == Kind::toggle) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        if (item.action != MenuItem::Action::none)
            connect(action, &QAction::triggered, this, [this, a = item.action] { run(a); });
        return;
    }
    }
}

void MenuContent::run(MenuItem::Action action, const QString& choice)
{
    using Action = MenuItem::Action;
    switch (action) {
    case Action::none:
        return;
    case Action::perApp:
        m_services.store.setPerApp(!m_services.store.modes().perApp.value_or(false));
        return;
    case Action::otherApps:
        m_services.store.setOtherApps(choice);
        return;
    case Action::pasteLast: {
        // After the menu has closed and let go of the keyboard, so that the paste reaches the
        // application that had the focus.
        const QPointer<Controller> controller(&m_services.controller);
        QMetaObject::invokeMethod(
            this,
            [controller] {
                if (controller && controller->lastEntry())
                    controller->insert(*controller->lastEntry());
            },
            Qt::QueuedConnection);
        return;
    }
    case Action::installUpdate:
        if (Updater* updater = m_services.updater; updater && updater->available())
            updater->install(*updater->available());
        return;
    case Action::checkForUpdates:
        if (Updater* updater = m_services.updater)
            updater->check(true);
        return;
    case Action::settings:
        if (m_services.openSettings)
            m_services.openSettings();
        return;
    case Action::quit:
        if (m_services.quit)
            m_services.quit();
        return;
    }
}

} // namespace quillet
