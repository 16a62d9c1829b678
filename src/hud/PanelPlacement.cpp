#include "hud/PanelPlacement.h"

#include <algorithm>

namespace quillet {

std::optional<PanelPlacement> PanelPlacement::place(const QList<Screen>& screens, qsizetype primary,
                                                    QPoint pointer, QSize panel)
{
    if (screens.isEmpty())
        return std::nullopt;
    const auto under = std::find_if(screens.begin(), screens.end(),
                                    [&](const Screen& s) { return s.geometry.contains(pointer); });
    const qsizetype index = under != screens.end()
                                ? under - screens.begin()
                                : std::clamp<qsizetype>(primary, 0, screens.size() - 1);
    const QRect area = screens[index].available;
    return PanelPlacement{index, QPoint(area.x() + area.width() / 2 - panel.width() / 2,
                                        area.y() + area.height() - bottomGap - panel.height())};
}

} // namespace quillet
