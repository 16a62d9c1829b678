#include "hud/FloatingHud.h"

#include "hud/HudPanel.h"
#include "hud/PanelPlacement.h"
#include "hud/PillState.h"
#include "platform/Overlay.h"
#include "store/ModeRules.h"
#include "store/Preferences.h"
#include "store/Store.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

namespace quillet {

FloatingHud::FloatingHud(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_panel(std::make_unique<HudPanel>())
{
    if (m_services.overlay)
        connect(m_panel.get(), &HudPanel::changed, this, &FloatingHud::panelChanged);
    else
        // Made now, so that showing it later is only mapping it.
        m_panel->winId();
    connect(&m_model, &HudModel::toastChanged, this, &FloatingHud::refresh);
    connect(&m_model, &HudModel::lockedChanged, this, &FloatingHud::refresh);
    connect(&m_services.store, &Store::modesChanged, this, &FloatingHud::refresh);
}

FloatingHud::~FloatingHud() = default;

void FloatingHud::bind(Dictation* dictation)
{
    if (Dictation* old = m_model.dictation())
        disconnect(old, nullptr, this, nullptr);
    m_model.setDictation(dictation);
    if (!dictation)
        return;
    connect(dictation, &Dictation::phaseChanged, this, &FloatingHud::phaseChanged);
    connect(dictation, &Dictation::liveTextChanged, this, &FloatingHud::refresh);
    connect(dictation, &Dictation::laggingChanged, this, &FloatingHud::refresh);
    connect(dictation, &Dictation::modeChanged, this, &FloatingHud::refresh);
    connect(dictation, &Dictation::levelChanged, this, [this](float level) {
        if (m_panel->isShown())
            m_panel->setLevel(level);
    });
    phaseChanged(dictation->phase());
}

void FloatingHud::phaseChanged(Dictation::Phase phase)
{
    if (phase != Dictation::Phase::idle) {
        m_model.setToast({});
        show();
        return;
    }
    m_model.setLocked(false);
    // A message still showing keeps the pill up; its expiry takes it down.
    if (m_model.toast().isEmpty())
        hide();
    else
        refresh();
}

void FloatingHud::toast(const QString& text)
{
    if (text.isEmpty())
        return;
    m_model.setToast(text);
    show();
    // A newer message restarts the time; the older one's expiry is cancelled with its handle.
    m_toastTask = m_services.clock.singleShot(toastSeconds, this, [this] { toastExpired(); });
}

void FloatingHud::toastExpired()
{
    m_model.setToast({});
    const Dictation* dictation = m_model.dictation();
    if (dictation && dictation->phase() == Dictation::Phase::idle)
        hide();
}

PillState FloatingHud::state() const
{
    PillState s;
    s.toast = m_model.toast();
    s.locked = m_model.locked();
    s.hotkey = HotKey::fromKeyCode(m_services.prefs.hotkey());
    const Dictation* dictation = m_model.dictation();
    s.bound = dictation != nullptr;
    s.mode = resolveStyle(dictation ? dictation->mode() : Dictation::defaultMode,
                          m_services.store.modes().styles);
    if (dictation) {
        s.phase = dictation->phase();
        s.lagging = dictation->lagging();
        s.liveText = dictation->liveText();
    }
    return s;
}

void FloatingHud::refresh()
{
    if (m_panel->isShown())
        m_panel->setState(state());
}

void FloatingHud::show()
{
    Overlay* overlay = m_services.overlay;
    // An overlay is always composited.
    m_panel->setCompositing(overlay || (m_services.compositing && m_services.compositing()));
    m_panel->setPresented(overlay != nullptr);
    m_panel->setState(state());
    if (const Dictation* dictation = m_model.dictation())
        m_panel->setLevel(dictation->level());
    if (overlay) {
        present();
        return;
    }

    const QList<QScreen*> screens = QGuiApplication::screens();
    QList<PanelPlacement::Screen> areas;
    for (const QScreen* screen : screens)
        areas.append({screen->geometry(), screen->availableGeometry()});
    const qsizetype primary = screens.indexOf(QGuiApplication::primaryScreen());
    if (const auto placed =
            PanelPlacement::place(areas, primary, QCursor::pos(), m_panel->size())) {
        if (QScreen* screen = screens[placed->screen]; m_panel->screen() != screen)
            m_panel->setScreen(screen);
        m_panel->move(placed->origin);
    }
    m_panel->show();
    m_panel->raise();
}

void FloatingHud::hide()
{
    if (Overlay* overlay = m_services.overlay) {
        m_frameTask.cancel();
        m_panel->setPresented(false);
        overlay->hide();
        return;
    }
    m_panel->hide();
}

void FloatingHud::panelChanged()
{
    // Animation steps come faster than anyone needs pictures of them: one per frame at most.
    if (m_panel->isShown() && !m_frameTask.isActive())
        m_frameTask = m_services.clock.singleShot(frameSeconds, this, [this] { present(); });
}

void FloatingHud::present()
{
    m_frameTask.cancel();
    const qreal scale = m_panel->devicePixelRatioF();
    QImage image(m_panel->size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    // Only what the panel paints: its window background would fill the transparent corners.
    m_panel->render(&image, {}, {}, QWidget::DrawChildren);
    m_services.overlay->show(image, scale, PanelPlacement::bottomGap);
}

} // namespace quillet
