#pragma once

#include "settings/DesktopIntegration.h"
#include "settings/IntegrationRow.h"
#include "settings/Section.h"

#include <QList>
#include <QPointer>

namespace quillet {

class Clock;

// "Desktop integration": for each desktop function what serves it in this session, whether that
// works, and a button that fixes what is missing. It follows the integration's changes.
class IntegrationSection : public Section {
    Q_OBJECT
public:
    IntegrationSection(DesktopIntegration& integration, Clock& clock, IntegrationRow::Launch launch,
                       QWidget* parent = nullptr);

    // In display order.
    QList<IntegrationRow*> rows() const;

private:
    void render();

    QPointer<DesktopIntegration> m_integration;
    Clock& m_clock;
    IntegrationRow::Launch m_launch;
    QWidget* m_list;
    QList<DesktopIntegration::Row> m_shown;
};

} // namespace quillet
