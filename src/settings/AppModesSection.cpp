#include "settings/AppModesSection.h"

#include "settings/SettingsServices.h"
#include "settings/Symbols.h"
#include "store/Store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

// The row of a label with one control at the right end.
QHBoxLayout* labelled(QWidget* parent, const QString& label, QWidget* control)
{
    auto* row = new QHBoxLayout;
    auto* name = new QLabel(label, parent);
    name->setBuddy(control);
    row->addWidget(name);
    row->addStretch(1);
    row->addWidget(control);
    return row;
}

} // namespace

AppModesSection::AppModesSection(const SettingsServices& services, QWidget* parent)
    : Section(QStringLiteral("Starting mode"), parent)
    , m_services(services)
{
    m_perApp = new QCheckBox(QStringLiteral("Pick the mode by app"), this);
    addRow(m_perApp);
    connect(m_perApp, &QCheckBox::toggled, this,
            [this](bool on) { (void)m_services.store.setPerApp(on); });

    m_table = new QWidget(this);
    auto* table = new QVBoxLayout(m_table);
    table->setContentsMargins(0, 0, 0, 0);
    m_otherApps = new QComboBox(m_table);
    m_otherApps->setAccessibleName(QStringLiteral("Every other app"));
    connect(m_otherApps, &QComboBox::activated, this, [this](int index) {
        (void)m_services.store.setOtherApps(m_otherApps->itemData(index).toString());
    });
    table->addLayout(labelled(m_table, QStringLiteral("Every other app"), m_otherApps));

    auto* actions = new QHBoxLayout;
    m_addApp = new QToolButton(m_table);
    m_addApp->setText(QStringLiteral("Add an app…"));
    m_addApp->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(m_addApp);
    m_addApp->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, &AppModesSection::fillAddMenu);
    actions->addWidget(m_addApp);
    actions->addStretch(1);
    m_restore = new QPushButton(QStringLiteral("Restore default apps"), m_table);
    connect(m_restore, &QPushButton::clicked, this,
            [this] { (void)m_services.store.restoreDefaultApps(); });
    actions->addWidget(m_restore);
    table->addLayout(actions);
    addRow(m_table);

    reload();
    connect(&services.store, &Store::modesChanged, this, &AppModesSection::reload);
}

void AppModesSection::reload()
{
    const ModeSettings& modes = m_services.store.modes();
    const bool on = modes.perApp.value_or(false);
    {
        const QSignalBlocker quiet(m_perApp);
        m_perApp->setChecked(on);
    }
    setFooter(on ? QStringLiteral("In a browser, Google Docs and Gmail start in Write, WhatsApp "
                                  "and Slack in Chat, ChatGPT, Claude and GitHub in Code.")
                 : QStringLiteral("Every dictation starts in Quillet. Tap ⇧ Shift while talking "
                                  "to switch mode."));
    m_table->setVisible(on);

    {
        const QSignalBlocker quiet(m_otherApps);
        m_otherApps->clear();
        for (const Style& style : modes.styles)
            m_otherApps->addItem(Symbols::dot(style.color), style.name, style.id);
        m_otherApps->setCurrentIndex(m_otherApps->findData(modes.otherApps));
    }

    // The old rows may be the sender of the change being shown: they go once it has returned.
    if (m_rows) {
        m_rows->hide();
        m_rows->setParent(nullptr);
        m_rows->deleteLater();
    }
    m_rows = makeRows();
    static_cast<QVBoxLayout*>(m_table->layout())->insertWidget(0, m_rows);
}

QWidget* AppModesSection::makeRows()
{
    auto* rows = new QWidget(m_table);
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(0, 0, 0, 0);
    QList<std::pair<QString, QString>> apps; // name, app id
    const QMap<QString, QString>& table = m_services.store.modes().apps;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        apps.append({nameOf(it.key()), it.key()});
    std::stable_sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto& [name, appId] : apps) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(name, rows), 1);
        QComboBox* picker = modePicker(table.value(appId), rows);
        picker->setAccessibleName(QStringLiteral("Mode for ") + name);
        connect(picker, &QComboBox::activated, this, [this, picker, id = appId](int index) {
            (void)m_services.store.setAppMode(id, picker->itemData(index).toString());
        });
        row->addWidget(picker);
        auto* remove = new QToolButton(rows);
        remove->setIcon(Symbols::icon(Symbols::Name::xmark));
        remove->setAutoRaise(true);
        remove->setAccessibleName(QStringLiteral("Remove ") + name);
        remove->setToolTip(remove->accessibleName());
        connect(remove, &QToolButton::clicked, this,
                [this, id = appId] { (void)m_services.store.removeApp(id); });
        row->addWidget(remove);
        layout->addLayout(row);
    }
    return rows;
}

QComboBox* AppModesSection::modePicker(const QString& selectedId, QWidget* parent) const
{
    auto* picker = new QComboBox(parent);
    for (const Style& style : m_services.store.modes().styles)
        picker->addItem(Symbols::dot(style.color), style.name, style.id);
    picker->setCurrentIndex(picker->findData(selectedId));
    return picker;
}

QString AppModesSection::nameOf(const QString& appId) const
{
    if (m_services.appName) {
        if (auto name = m_services.appName(appId); name && !name->isEmpty())
            return *name;
    }
    return appId;
}

QList<RunningApp> AppModesSection::addableApps() const
{
    const ModeSettings& modes = m_services.store.modes();
    const QString self = QCoreApplication::applicationName();
    QList<RunningApp> apps = m_services.workspace.runningApps();
    apps.removeIf([&](const RunningApp& app) {
        return app.appId.isEmpty() || modes.appMode(app.appId).has_value() ||
               app.appId.compare(self, Qt::CaseInsensitive) == 0;
    });
    std::stable_sort(apps.begin(), apps.end(), [](const RunningApp& a, const RunningApp& b) {
        return a.displayName.compare(b.displayName, Qt::CaseInsensitive) < 0;
    });
    return apps;
}

void AppModesSection::fillAddMenu()
{
    QMenu* menu = m_addApp->menu();
    menu->clear();
    const QList<RunningApp> apps = addableApps();
    for (const RunningApp& app : apps) {
        const QString id = app.appId;
        menu->addAction(app.displayName.isEmpty() ? id : app.displayName, this,
                        [this, id] { (void)m_services.store.addApp(id); });
    }
    if (apps.isEmpty())
        menu->addAction(QStringLiteral("No other apps are open"))->setEnabled(false);
}

} // namespace quillet
