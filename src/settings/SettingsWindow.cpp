#include "settings/SettingsWindow.h"

#include "settings/SettingsView.h"

namespace quillet {

SettingsWindow::SettingsWindow(SettingsServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{}

SettingsWindow::~SettingsWindow()
{
    if (m_view) {
        disconnect(m_view, nullptr, this, nullptr);
        delete m_view;
    }
}

void SettingsWindow::show(std::optional<int> tag)
{
    if (!m_view) {
        m_view = new SettingsView(m_services);
        m_view->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_view, &QObject::destroyed, this, [this] { emit openChanged(false); });
        emit openChanged(true);
    }
    if (tag)
        m_view->selectTag(*tag);
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
}

void SettingsWindow::close()
{
    if (m_view)
        m_view->close();
}

} // namespace quillet
