#include "settings/ModesView.h"

#include "settings/AppModesSection.h"
#include "settings/ChevronDelegate.h"
#include "settings/Section.h"
#include "settings/SettingsServices.h"
#include "settings/StyleEditor.h"
#include "settings/Symbols.h"
#include "store/ModeRules.h"
#include "store/Store.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

constexpr int kIdRole = Qt::UserRole;

} // namespace

ModesView::ModesView(const SettingsServices& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    auto* section = new Section(QStringLiteral("Modes"), this);
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Modes"));
    m_list->setItemDelegate(new ChevronDelegate(m_list));
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSpacing(2);
    section->addRow(m_list);
    m_add = new QPushButton(Symbols::icon(Symbols::Name::plus), QStringLiteral("Add mode"), this);
    m_add->setFlat(true);
    section->addRow(m_add);
    section->setFooter(QStringLiteral("Tap ⇧ Shift while talking to switch to the next mode. "
                                      "Dictations start in Quillet, or per app (below)."));
    layout->addWidget(section);
    m_apps = new AppModesSection(services, this);
    layout->addWidget(m_apps);
    layout->addStretch(1);

    reload();
    connect(&services.store, &Store::modesChanged, this, &ModesView::reload);
    connect(m_list->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int end, const QModelIndex&, int destination) {
                moved(start, end, destination);
            });
    const auto open = [this](QListWidgetItem* item) {
        const QString id = item->data(kIdRole).toString();
        for (const Style& style : m_services.store.modes().styles) {
            if (style.id == id) {
                edit(style, true);
                return;
            }
        }
    };
    connect(m_list, &QListWidget::itemClicked, this, open);
    connect(m_list, &QListWidget::itemActivated, this, open);
    connect(m_add, &QPushButton::clicked, this,
            [this] { edit(newModeTemplate(m_services.store.modes().styles), false); });
}

StyleEditor* ModesView::edit(const Style& style, bool inList)
{
    // Styles that activate items on a single click report one click twice.
    if (m_editor && m_editor->isVisible())
        return m_editor;
    m_editor = new StyleEditor(m_services.store, style, inList, window());
    m_editor->setAttribute(Qt::WA_DeleteOnClose);
    m_editor->open();
    return m_editor;
}

void ModesView::reload()
{
    const QList<Style>& styles = m_services.store.modes().styles;
    // After a drag the rows already stand in the stored order; rebuilding them then would pull
    // the items from under the view that is still finishing the drop.
    bool same = m_list->count() == styles.size();
    for (int i = 0; same && i < styles.size(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        same = item->data(kIdRole).toString() == styles[i].id && item->text() == styles[i].name &&
               item->data(Qt::UserRole + 1).toString() == styles[i].color;
    }
    if (same)
        return;
    m_list->clear();
    for (const Style& style : styles) {
        auto* item = new QListWidgetItem(Symbols::dot(style.color), style.name, m_list);
        item->setData(kIdRole, style.id);
        item->setData(Qt::UserRole + 1, style.color);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    }
    const int rowHeight = m_list->count() ? m_list->sizeHintForRow(0) + 2 * m_list->spacing() : 0;
    m_list->setFixedHeight(rowHeight * m_list->count() + 2 * m_list->frameWidth());
}

void ModesView::moved(int start, int end, int destination)
{
    std::set<int> offsets;
    for (int i = start; i <= end; ++i)
        offsets.insert(i);
    // Stored once the view has finished the drop: the store's answer may rebuild the rows.
    QMetaObject::invokeMethod(
        this,
        [this, offsets, destination] { (void)m_services.store.moveStyles(offsets, destination); },
        Qt::QueuedConnection);
}

} // namespace quillet
