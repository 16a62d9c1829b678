#include "settings/SettingsWindow.h"

#include "settings/GeneralView.h"
#include "settings/SettingsView.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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
        connect(m_view, &QObject::destroyed, this, [this] {
            emit openChanged(false);
#if defined(__GLIBC__)
            // The window's widgets were most of what the heap grew by: once they are all gone,
            // their pages go back to the system instead of waiting in the allocator.
            QMetaObject::invokeMethod(
                this, [] { malloc_trim(0); }, Qt::QueuedConnection);
#endif
        });
        emit openChanged(true);
    }
    if (tag)
        m_view->selectTag(*tag);
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
}

void SettingsWindow::showDesktopIntegration()
{
    show(SettingsView::generalTag);
    if (auto* general = qobject_cast<GeneralView*>(m_view->content(SettingsView::generalTag)))
        general->revealIntegration();
}

bool SettingsWindow::isOpen() const
{
    return m_view != nullptr;
}

SettingsView* SettingsWindow::view() const
{
    return m_view;
}

void SettingsWindow::close()
{
    if (m_view)
        m_view->close();
}

} // namespace quillet
