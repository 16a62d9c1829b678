#include "settings/IntegrationRow.h"

#include "settings/Section.h"
#include "settings/Symbols.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

QLabel* wrapped(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

IntegrationRow::IntegrationRow(const DesktopIntegration::Row& row, DesktopIntegration& integration,
                               Clock& clock, Launch launch, QWidget* parent)
    : QWidget(parent)
    , m_row(row)
    , m_integration(integration)
    , m_clock(clock)
    , m_launch(std::move(launch))
{
    using Fix = DesktopIntegration::Row::Fix;
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* name = new QLabel(row.function, this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    text->addWidget(name);
    auto* adapter = wrapped(row.adapter, this);
    Section::makeSecondary(adapter);
    text->addWidget(adapter);
    if (!row.missing.isEmpty()) {
        auto* missing = wrapped(row.missing, this);
        Section::makeSecondary(missing);
        text->addWidget(missing);
    }
    m_error = wrapped(QString(), this);
    m_error->hide();
    text->addWidget(m_error);
    layout->addLayout(text, 1);

    if (row.fix != Fix::none) {
        m_button = new QPushButton(row.fixLabel, this);
        m_button->setAccessibleDescription(row.function);
        if (row.fix == Fix::copyCommand) {
            // Wide enough for "Copied" too, so that the row does not move when it shows.
            m_button->setText(QStringLiteral("Copied"));
            const int copiedWidth = m_button->sizeHint().width();
            m_button->setText(row.fixLabel);
            m_button->setMinimumWidth(std::max(copiedWidth, m_button->sizeHint().width()));
        }
        connect(m_button, &QPushButton::clicked, this, &IntegrationRow::fix);
        layout->addWidget(m_button, 0, Qt::AlignTop);
    }
    m_mark = new QLabel(this);
    Symbols::showStatus(m_mark, row.works);
    m_mark->setAccessibleName(row.works ? QStringLiteral("Works") : QStringLiteral("Not working"));
    m_mark->setAccessibleDescription(row.function);
    layout->addWidget(m_mark, 0, Qt::AlignTop);
}

void IntegrationRow::fix()
{
    switch (m_row.fix) {
    case DesktopIntegration::Row::Fix::copyCommand:
        copy();
        return;
    case DesktopIntegration::Row::Fix::runCommand:
        run();
        return;
    case DesktopIntegration::Row::Fix::allowTyping:
        m_integration.allowTyping();
        return;
    case DesktopIntegration::Row::Fix::none:
        return;
    }
}

void IntegrationRow::copy()
{
    QGuiApplication::clipboard()->setText(m_row.command);
    m_button->setText(QStringLiteral("Copied"));
    m_copied = m_clock.singleShot(copiedFor, this, [this] { m_button->setText(m_row.fixLabel); });
}

void IntegrationRow::run()
{
    QStringList arguments = m_row.command.split(u' ', Qt::SkipEmptyParts);
    bool started = false;
    if (!arguments.isEmpty()) {
        const QString program = arguments.takeFirst();
        started =
            m_launch ? m_launch(program, arguments) : QProcess::startDetached(program, arguments);
    }
    m_error->setText(started ? QString()
                             : QStringLiteral("Could not start “%1”. Run it in a terminal to "
                                              "see why.")
                                   .arg(m_row.command));
    m_error->setVisible(!started);
}

} // namespace quillet
