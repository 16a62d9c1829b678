#include "hud/HudPanel.h"

#include "hud/PillPainter.h"
#include "store/ModeColor.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>

namespace quillet {

namespace {

// Ease-out as the platform's animations have it: a cubic Bézier through (0, 0), (0.58, 1).
QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QColor modeColor(const Style& mode)
{
    return QColor::fromRgb(colorFromHex(mode.color).rgb());
}

QRegion capsuleRegion(const QRectF& r)
{
    const QRect box = r.toAlignedRect();
    const int d = box.height();
    if (box.width() <= d)
        return QRegion(box, QRegion::Ellipse);
    return QRegion(box.adjusted(d / 2, 0, -d / 2, 0)) +
           QRegion(QRect(box.topLeft(), QSize(d, d)), QRegion::Ellipse) +
           QRegion(QRect(box.right() - d + 1, box.top(), d, d), QRegion::Ellipse);
}

} // namespace

HudPanel::HudPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                          Qt::X11BypassWindowManagerHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(PillLayout::panelSize);
    setWindowTitle(QStringLiteral("Quillet"));

    m_meterAnimation.setDuration(meterMs);
    m_meterAnimation.setEasingCurve(easeOut());
    connect(&m_meterAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_meter = v.toReal();
        redraw();
    });
    m_colorAnimation.setDuration(colorMs);
    m_colorAnimation.setEasingCurve(easeOut());
    connect(&m_colorAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_tint = v.value<QColor>();
        redraw();
    });
    m_spinner.setStartValue(0);
    m_spinner.setEndValue(PillPainter::spinnerSpokes);
    m_spinner.setDuration(spinnerTurnMs);
    m_spinner.setLoopCount(-1);
    connect(&m_spinner, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        // A repaint per spoke, not per animation frame.
        const int step = std::min(v.toInt(), PillPainter::spinnerSpokes - 1);
        if (std::exchange(m_spinnerStep, step) != step)
            redraw();
    });
}

void HudPanel::setState(const PillState& state)
{
    const QColor target = modeColor(state.mode);
    const QColor shown = m_colorAnimation.state() == QAbstractAnimation::Running
                             ? m_colorAnimation.endValue().value<QColor>()
                             : m_tint;
    if (target != shown) {
        m_colorAnimation.stop();
        if (isShown() && m_tint.isValid()) {
            m_colorAnimation.setStartValue(m_tint);
            m_colorAnimation.setEndValue(target);
            m_colorAnimation.start();
        } else {
            m_tint = target;
        }
    }
    m_state = state;
    // What screen readers hear of the lock mark.
    setAccessibleDescription(state.showsLock() ? QStringLiteral("Locked on") : QString());
    updateMask();
    updateSpinner();
    redraw();
}

void HudPanel::setLevel(qreal level)
{
    const qreal target = PillLayout::meterScale(level);
    m_meterAnimation.stop();
    if (!isShown()) {
        m_meter = target;
        return;
    }
    m_meterAnimation.setStartValue(m_meter);
    m_meterAnimation.setEndValue(target);
    m_meterAnimation.start();
}

void HudPanel::setCompositing(bool on)
{
    if (std::exchange(m_compositing, on) == on)
        return;
    m_capsule = {};
    updateMask();
}

void HudPanel::updateMask()
{
    const QRectF capsule = layout().capsule;
    if (!m_capsule.isNull() && capsule == m_capsule)
        return;
    m_capsule = capsule;
    if (m_compositing)
        clearMask();
    else if (capsule.isEmpty())
        setMask(QRegion(-1, -1, 1, 1)); // nothing inside; an empty region would mean no cut
    else
        setMask(capsuleRegion(capsule));
}

void HudPanel::updateSpinner()
{
    const bool spin = isShown() && !m_state.showsToast() && m_state.processing();
    if (spin && m_spinner.state() != QAbstractAnimation::Running)
        m_spinner.start();
    else if (!spin)
        m_spinner.stop();
}

void HudPanel::setPresented(bool on)
{
    if (std::exchange(m_presented, on) == on)
        return;
    if (on)
        updateSpinner();
    else if (!isVisible())
        settle();
}

void HudPanel::redraw()
{
    update();
    emit changed();
}

void HudPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PillPainter::paint(painter, layout(), m_tint, m_spinnerStep);
}

void HudPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateSpinner();
}

void HudPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!m_presented)
        settle();
}

void HudPanel::settle()
{
    // Nothing moves while nobody can see it.
    if (m_colorAnimation.state() == QAbstractAnimation::Running) {
        m_tint = m_colorAnimation.endValue().value<QColor>();
        m_colorAnimation.stop();
    }
    if (m_meterAnimation.state() == QAbstractAnimation::Running) {
        m_meter = m_meterAnimation.endValue().toReal();
        m_meterAnimation.stop();
    }
    m_spinner.stop();
}

} // namespace quillet
