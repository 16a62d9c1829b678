#include "settings/SettingsView.h"

#include "settings/GeneralView.h"
#include "settings/HistoryView.h"
#include "settings/KeysView.h"
#include "settings/ModesView.h"
#include "settings/SettingsServices.h"
#include "settings/VocabularyView.h"
#include "store/Preferences.h"

#include <QKeySequence>
#include <QScrollArea>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

// The page of a tab whose content scrolls as one.
QWidget* scrolling(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(content);
    return area;
}

} // namespace

const QList<SettingsView::Tab>& SettingsView::tabs()
{
    static const QList<Tab> list{
        {QStringLiteral("General"), Symbols::Name::gear, generalTag},
        {QStringLiteral("Modes"), Symbols::Name::wand, modesTag},
        {QStringLiteral("Dictionary"), Symbols::Name::book, dictionaryTag},
        {QStringLiteral("History"), Symbols::Name::clock, historyTag},
        {QStringLiteral("Account"), Symbols::Name::person, accountTag},
    };
    return list;
}

SettingsView::SettingsView(const SettingsServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_content(tabs().size(), nullptr)
{
    // The window's id: the object name, and on X11 its window role.
    setObjectName(QStringLiteral("settings"));
    setWindowRole(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Quillet"));
    resize(600, 560);
    setMinimumSize(600, 560);

    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    for (const Tab& tab : tabs()) {
        auto* page = new QWidget;
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        m_tabs->addTab(page, Symbols::icon(tab.symbol), tab.label);
    }
    layout->addWidget(m_tabs);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        const int tag = tabs().at(index).tag;
        content(tag);
        if (!m_selecting)
            m_services.prefs.setSettingsTab(tag);
    });
    selectTag(services.prefs.settingsTab());

    auto* closeKey = new QShortcut(QKeySequence::Close, this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);
    // The tab bar takes these keys only while it holds the focus, which the window gives up
    // when it opens.
    const auto step = [this](int by) {
        const int count = m_tabs->count();
        m_tabs->setCurrentIndex((m_tabs->currentIndex() + by + count) % count);
    };
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_Tab)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(1); });
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_PageUp),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(-1); });
}

SettingsView::~SettingsView() = default;

void SettingsView::selectTag(int tag)
{
    const auto& list = tabs();
    const auto found =
        std::find_if(list.cbegin(), list.cend(), [tag](const Tab& t) { return t.tag == tag; });
    const int index = found == list.cend() ? 0 : static_cast<int>(found - list.cbegin());
    m_selecting = true;
    m_tabs->setCurrentIndex(index);
    m_selecting = false;
    // No change signal when it already was the current tab.
    content(list.at(index).tag);
}

int SettingsView::currentTag() const
{
    return tabs().at(m_tabs->currentIndex()).tag;
}

QWidget* SettingsView::content(int tag)
{
    const auto& list = tabs();
    const auto found =
        std::find_if(list.cbegin(), list.cend(), [tag](const Tab& t) { return t.tag == tag; });
    if (found == list.cend())
        return nullptr;
    const auto index = found - list.cbegin();
    if (!m_content[index]) {
        m_content[index] = build(tag);
        QWidget* page = m_tabs->widget(static_cast<int>(index));
        QWidget* shown = tag == historyTag ? m_content[index] : scrolling(m_content[index]);
        page->layout()->addWidget(shown);
    }
    return m_content[index];
}

QWidget* SettingsView::build(int tag)
{
    switch (tag) {
    case modesTag:
        return new ModesView(m_services);
    case dictionaryTag:
        return new VocabularyView(m_services.store);
    case historyTag:
        return new HistoryView(m_services);
    case accountTag:
        return new KeysView(m_services);
    default:
        return new GeneralView(m_services);
    }
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_focusDrop = m_services.clock.singleShot(focusDropDelay, this, [this] {
        if (QWidget* focused = focusWidget())
            focused->clearFocus();
    });
}

} // namespace quillet
