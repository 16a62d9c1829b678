#pragma once

#include "settings/DesktopIntegration.h"
#include "util/Clock.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace quillet {

// One function in the "Desktop integration" section: its name in bold with what serves it
// below, what is missing in small print, and on the right the fix's button and the status mark.
class IntegrationRow : public QWidget {
    Q_OBJECT
public:
    // Starts a program apart from Quillet; false when it could not be started. Unset: the row
    // starts it detached itself.
    using Launch = std::function<bool(const QString& program, const QStringList& arguments)>;

    // How long the copy button says "Copied" before its own text comes back.
    static constexpr double copiedFor = 1.5;

    IntegrationRow(const DesktopIntegration::Row& row, DesktopIntegration& integration,
                   Clock& clock, Launch launch, QWidget* parent = nullptr);

    const DesktopIntegration::Row& row() const { return m_row; }
    // Null when the function has no fix.
    QPushButton* fixButton() const { return m_button; }
    QLabel* statusMark() const { return m_mark; }
    // Why a command could not be started; hidden otherwise.
    QLabel* error() const { return m_error; }

private:
    void fix();
    void copy();
    void run();

    DesktopIntegration::Row m_row;
    DesktopIntegration& m_integration;
    Clock& m_clock;
    Launch m_launch;
    QPushButton* m_button = nullptr;
    QLabel* m_mark;
    QLabel* m_error;
    Timer m_copied;
};

} // namespace quillet
