#include "settings/HistoryView.h"

#include "settings/FixSheet.h"
#include "settings/ModeTag.h"
#include "settings/Section.h"
#include "settings/SettingsServices.h"
#include "store/ModeRules.h"
#include "store/Store.h"
#include "util/Clock.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quillet {

HistoryView::HistoryView(const SettingsServices& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(8, 4, 8, 0);
    toolbar->addStretch(1);
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    connect(m_clear, &QPushButton::clicked, this,
            [this] { (void)m_services.store.clearHistory(); });
    toolbar->addWidget(m_clear);
    layout->addLayout(toolbar);

    m_empty = new QLabel(QStringLiteral("Nothing dictated yet."), this);
    m_empty->setAlignment(Qt::AlignCenter);
    Section::makeSecondary(m_empty);
    layout->addWidget(m_empty, 1);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_scroll, 1);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const QScrollBar* bar = m_scroll->verticalScrollBar();
        if (value >= bar->maximum() - bar->pageStep() / 2)
            showMore();
    });

    reload();
    connect(&services.store, &Store::historyChanged, this, &HistoryView::reload);
}

QString HistoryView::timeText(const QDateTime& date, const QDateTime& now)
{
    const QDateTime local = date.toLocalTime();
    const QLocale locale;
    // Hours and minutes in the locale's way; some locales' short form carries the seconds too.
    static const QRegularExpression seconds(QStringLiteral("[:.]?s+"));
    const QString time =
        locale.toString(local.time(), locale.timeFormat(QLocale::ShortFormat).remove(seconds));
    if (local.date() == now.toLocalTime().date())
        return time;
    return locale.toString(local.date(), QStringLiteral("MMM d")) + QStringLiteral(", ") + time;
}

void HistoryView::reload()
{
    const bool empty = m_services.store.history().isEmpty();
    m_clear->setVisible(!empty);
    m_empty->setVisible(empty);
    m_scroll->setVisible(!empty);
    // The rows rebuilt keep as many as were shown, so the list does not jump. The old ones may
    // hold the button being handled: they go once it has returned.
    const int keep = std::max(m_shown, batch);
    if (QWidget* old = m_scroll->takeWidget())
        old->deleteLater();
    m_rows = new QWidget;
    auto* rowsLayout = new QVBoxLayout(m_rows);
    rowsLayout->setAlignment(Qt::AlignTop);
    rowsLayout->setSpacing(0);
    m_scroll->setWidget(m_rows);
    m_shown = 0;
    while (m_shown < keep && m_shown < m_services.store.history().size())
        showMore();
}

void HistoryView::showMore()
{
    const QList<Entry>& history = m_services.store.history();
    const int end = std::min<int>(m_shown + batch, static_cast<int>(history.size()));
    for (; m_shown < end; ++m_shown)
        m_rows->layout()->addWidget(makeRow(history[m_shown], m_rows));
}

QWidget* HistoryView::makeRow(const Entry& entry, QWidget* parent)
{
    auto* row = new QFrame(parent);
    row->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(4, 8, 4, 8);
    layout->setSpacing(4);

    auto* caption = new QHBoxLayout;
    QString when = timeText(entry.date, m_services.clock.now());
    if (entry.app)
        when += QStringLiteral(" · ") + *entry.app;
    auto* captionLabel = new QLabel(when, row);
    captionLabel->setTextFormat(Qt::PlainText);
    Section::makeSecondary(captionLabel);
    caption->addWidget(captionLabel);
    const Style style = resolveStyle(entry.mode, m_services.store.modes().styles);
    // The default mode goes without a tag; so does a deleted one rather than pass for it.
    if (entry.mode != u"quillet" && style.id != u"quillet")
        caption->addWidget(new ModeTag(style, row));
    caption->addStretch(1);
    auto* fixButton = new QPushButton(QStringLiteral("Fix"), row);
    auto* copyButton = new QPushButton(QStringLiteral("Copy"), row);
    caption->addWidget(fixButton);
    caption->addWidget(copyButton);
    layout->addLayout(caption);

    auto* text = new QLabel(entry.text, row);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);

    const QUuid id = entry.id;
    connect(fixButton, &QPushButton::clicked, this, [this, id] {
        for (const Entry& e : m_services.store.history()) {
            if (e.id == id) {
                fix(e);
                return;
            }
        }
    });
    const QString copied = entry.text;
    connect(copyButton, &QPushButton::clicked, this, [copied] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(copied);
    });
    return row;
}

FixSheet* HistoryView::fix(const Entry& entry)
{
    auto* sheet = new FixSheet(m_services.store, m_services.clock, entry, window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

} // namespace quillet
