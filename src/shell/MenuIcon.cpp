#include "shell/MenuIcon.h"

namespace quillet {

QIcon MenuIcon::idle()
{
    static const QIcon icon(QStringLiteral(":/shell/icons/tray-idle.svg"));
    return icon;
}

QIcon MenuIcon::active()
{
    static const QIcon icon(QStringLiteral(":/shell/icons/tray-active.svg"));
    return icon;
}

} // namespace quillet
