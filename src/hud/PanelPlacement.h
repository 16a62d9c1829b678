#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace quillet {

// Where the floating panel goes: centred at the bottom of the usable area of the screen the
// pointer is on, a little above the panels and docks that area leaves out.
struct PanelPlacement {
    struct Screen {
        QRect geometry;
        // The geometry less panels and docks.
        QRect available;
    };

    static constexpr int bottomGap = 28;

    // The screen chosen (an index) and the panel's top-left corner on it.
    qsizetype screen = 0;
    QPoint origin;

    // On the first screen whose geometry holds `pointer`, else on screen `primary`; none without
    // screens.
    static std::optional<PanelPlacement> place(const QList<Screen>& screens, qsizetype primary,
                                               QPoint pointer, QSize panel);
};

} // namespace quillet
