#pragma once

#include "hud/PillLayout.h"
#include "hud/PillState.h"

#include <QColor>
#include <QVariantAnimation>
#include <QWidget>

namespace quillet {

// The floating window that hosts the pill: frameless, above other windows, on every virtual
// desktop, never focused, and transparent to the mouse. It draws the state it is given and
// animates only while it is visible: the mode colour (0.15 s), the meter (0.08 s) and the
// spinner. Without a compositor its shape is cut to the capsule, since the transparent corners
// would otherwise show black. Where an overlay of the desktop's shows the pill instead, the window
// stays hidden and is drawn into pictures: it then animates while it is presented.
class HudPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int colorMs = 150;
    static constexpr int meterMs = 80;
    static constexpr int spinnerTurnMs = 1000;

    explicit HudPanel(QWidget* parent = nullptr);

    void setState(const PillState& state);
    const PillState& state() const { return m_state; }
    // The dictation's level, 0…1; the meter's bars follow it over meterMs.
    void setLevel(qreal level);
    // Whether a compositor draws the transparent parts; without one the window is masked.
    void setCompositing(bool on);
    // Someone shows pictures of the hidden panel (render()): it animates as if visible.
    void setPresented(bool on);
    // On screen, in its own window or in pictures.
    bool isShown() const { return isVisible() || m_presented; }

    // The layout as drawn now, with the meter where its animation stands.
    PillLayout layout() const { return PillLayout::compute(m_state, m_meter); }
    QColor tint() const { return m_tint; }

signals:
    // What it draws changed; emitted at most once per animation step.
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateMask();
    void updateSpinner();
    void redraw();
    // Jumps each animation to its end and stops it.
    void settle();

    PillState m_state;
    QRectF m_capsule;
    bool m_compositing = false;
    bool m_presented = false;
    qreal m_meter = 0;
    QColor m_tint;
    int m_spinnerStep = 0;
    QVariantAnimation m_meterAnimation;
    QVariantAnimation m_colorAnimation;
    QVariantAnimation m_spinner;
};

} // namespace quillet
