#pragma once

#include "hud/PillState.h"

#include <QFont>
#include <QRectF>
#include <QSize>
#include <QString>

#include <array>

namespace quillet {

// Where each part of the pill goes inside the panel, for one state: a row of items centred
// vertically on a capsule that is as wide as its content and centred in the panel. Sizes are in
// device-independent pixels.
struct PillLayout {
    enum class Content {
        nothing, // no dictation to show
        toast,
        listening, // the mode, the meter and the status line
        processing,
    };

    static constexpr QSize panelSize{420, 64};
    static constexpr qreal height = 36;
    static constexpr qreal margin = 14;
    static constexpr qreal spacing = 10;
    static constexpr int barCount = 5;
    static constexpr qreal barWidth = 3;
    static constexpr qreal barSpacing = 2;
    static constexpr qreal meterHeight = 18;
    static constexpr qreal spinnerSize = 16;
    // The status line's widest frame, with and without the lag note beside it.
    static constexpr qreal statusWidth = 250;
    static constexpr qreal laggingStatusWidth = 170;

    Content content = Content::nothing;
    // Empty when nothing is drawn.
    QRectF capsule;

    QRectF tag;
    QString tagText;
    QRectF lock; // empty unless the lock mark shows
    std::array<QRectF, barCount> bars{};
    QRectF status;
    // As drawn: cut at the head when it does not fit.
    QString statusText;
    QRectF note; // "catching up…", empty unless lagging
    QRectF spinner;
    QRectF label; // the processing label, or the toast
    QString labelText;

    // `meter` is how far the meter's bars stand out, 0…1 (it trails the dictation's level by
    // its animation).
    static PillLayout compute(const PillState& state, qreal meter);

    // How far the bars stand out for a microphone level: in proportion, full from 0.625 on.
    static qreal meterScale(qreal level);
    // Each bar's share of 14 pixels, times the scale, on top of 4 pixels.
    static std::array<qreal, barCount> barHeights(qreal scale);

    static QFont tagFont();
    static QFont textFont(); // status line, processing label, toast
    static QFont noteFont();
};

} // namespace quillet
