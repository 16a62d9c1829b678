#include "hud/FloatingHud.h"

#include "hud/HudPanel.h"
#include "hud/PanelPlacement.h"
#include "hud/PillState.h"
#include "store/ModeRules.h"
#include "store/Preferences.h"
#include "store/Store.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace quillet {

FloatingHud::FloatingHud(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_panel(std::make_unique<HudPanel>())
{
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
        if (m_panel->isVisible())
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
    if (m_panel->isVisible())
        m_panel->setState(state());
}

void FloatingHud::show()
{
    m_panel->setCompositing(m_services.compositing && m_services.compositing());
    m_panel->setState(state());
    if (const Dictation* dictation = m_model.dictation())
        m_panel->setLevel(dictation->level());

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
    m_panel->hide();
}

} // namespace quillet
