#include "settings/IntegrationSection.h"

#include <QVBoxLayout>

namespace quillet {

IntegrationSection::IntegrationSection(DesktopIntegration& integration, Clock& clock,
                                       IntegrationRow::Launch launch, QWidget* parent)
    : Section(QStringLiteral("Desktop integration"), parent)
    , m_integration(&integration)
    , m_clock(clock)
    , m_launch(std::move(launch))
{
    m_list = new QWidget(this);
    auto* layout = new QVBoxLayout(m_list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    addRow(m_list);
    render();
    connect(&integration, &DesktopIntegration::changed, this, &IntegrationSection::render);
}

QList<IntegrationRow*> IntegrationSection::rows() const
{
    return m_list->findChildren<IntegrationRow*>(Qt::FindDirectChildrenOnly);
}

void IntegrationSection::render()
{
    if (!m_integration)
        return;
    const QList<DesktopIntegration::Row> rows = m_integration->rows();
    // The same rows again keep their widgets, and with them a "Copied" or an error on show.
    if (rows == m_shown && !m_list->layout()->isEmpty())
        return;
    m_shown = rows;
    for (IntegrationRow* old : this->rows()) {
        // Later: the change may come from within the click of one of its buttons.
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    for (const DesktopIntegration::Row& row : rows) {
        auto* widget = new IntegrationRow(row, *m_integration, m_clock, m_launch, m_list);
        m_list->layout()->addWidget(widget);
        // Now rather than from the event queue, so that the section's size counts it at once.
        widget->show();
    }
}

} // namespace quillet
