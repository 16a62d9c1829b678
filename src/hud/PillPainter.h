#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace quillet {

struct PillLayout;

// Draws a laid-out pill: a dark capsule with a faint rim, white text and symbols, the mode's
// colour on the tag and the meter.
struct PillPainter {
    static constexpr int spinnerSpokes = 12;

    // `tint` is the mode's colour as shown now; `spinnerStep` the spoke that leads.
    static void paint(QPainter& painter, const PillLayout& layout, const QColor& tint,
                      int spinnerStep);

private:
    static void paintLock(QPainter& painter, const QRectF& box);
    static void paintSpinner(QPainter& painter, const QRectF& box, int step);
};

} // namespace quillet
