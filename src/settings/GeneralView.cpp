#include "settings/GeneralView.h"

#include "desktop/Controller.h"
#include "settings/IntegrationSection.h"
#include "settings/PermissionRow.h"
#include "settings/ProcessingSection.h"
#include "settings/Section.h"
#include "settings/SettingsServices.h"
#include "settings/SoundSettings.h"
#include "store/Preferences.h"
#include "update/Updater.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace quillet {

GeneralView::GeneralView(const SettingsServices& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addWidget(permissions());
    layout->addWidget(hotkeySection());
    m_processing = new ProcessingSection(services.prefs, services.clock, this);
    layout->addWidget(m_processing);
    if (services.integration) {
        m_integration =
            new IntegrationSection(*services.integration, services.clock, services.launch, this);
        layout->addWidget(m_integration);
    }
    layout->addStretch(1);
}

void GeneralView::revealIntegration()
{
    if (!m_integration)
        return;
    QScrollArea* area = nullptr;
    for (QWidget* w = parentWidget(); w && !area; w = w->parentWidget())
        area = qobject_cast<QScrollArea*>(w);
    if (!area)
        return;
    // Rows that just came or the tab just built have not been laid out yet: their layout
    // requests wait in the queue, and the scroll would go by the old sizes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    area->ensureWidgetVisible(m_integration);
}

QWidget* GeneralView::permissions()
{
    auto* section = new Section(QStringLiteral("Permissions"), this);
    Controller& controller = m_services.controller;

    m_mic = new PermissionRow(QStringLiteral("Microphone"), QStringLiteral("To hear you."), this);
    m_mic->setOk(controller.micAllowed());
    connect(&controller, &Controller::micAllowedChanged, m_mic, &PermissionRow::setOk);
    connect(m_mic, &PermissionRow::openSettingsClicked, this, &GeneralView::openMicrophoneSettings);
    section->addRow(m_mic);

    m_ax = new PermissionRow(QStringLiteral("Accessibility"),
                             QStringLiteral("To see the hotkey, paste, and learn from your fixes."),
                             this);
    m_ax->setOk(controller.axTrusted());
    connect(&controller, &Controller::axTrustedChanged, m_ax, &PermissionRow::setOk);
    connect(m_ax, &PermissionRow::openSettingsClicked, this, &GeneralView::enableAccessibility);
    section->addRow(m_ax);
    return section;
}

QWidget* GeneralView::hotkeySection()
{
    auto* section = new Section(QStringLiteral("Hotkey"), this);
    Controller& controller = m_services.controller;
    Preferences& prefs = m_services.prefs;

    m_hotkey = new QComboBox(this);
    for (const HotKey::Key key : HotKey::all)
        m_hotkey->addItem(HotKey(key).displayName(), static_cast<int>(key));
    const auto showKey = [this](HotKey key) {
        m_hotkey->setCurrentIndex(m_hotkey->findData(static_cast<int>(key.key())));
    };
    showKey(controller.hotkey());
    connect(&controller, &Controller::hotkeyChanged, m_hotkey, showKey);
    connect(m_hotkey, &QComboBox::activated, this, [this](int index) {
        m_services.controller.setHotkey(
            static_cast<HotKey::Key>(m_hotkey->itemData(index).toInt()));
    });
    section->addRow(QStringLiteral("Push-to-talk key"), m_hotkey);

    auto* tail = new QWidget(this);
    auto* tailRow = new QHBoxLayout(tail);
    tailRow->setContentsMargins(0, 0, 0, 0);
    m_tail = new QSlider(Qt::Horizontal, tail);
    m_tail->setRange(0, tailSteps);
    m_tail->setFixedWidth(160);
    m_tailLabel = new QLabel(tail);
    m_tailLabel->setFixedWidth(56);
    m_tailLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Section::makeSecondary(m_tailLabel);
    tailRow->addWidget(m_tail);
    tailRow->addWidget(m_tailLabel);
    const int step = static_cast<int>(std::lround(prefs.tailSeconds() * tailStepsPerSecond));
    m_tail->setValue(std::clamp(step, 0, tailSteps));
    showTail(m_tail->value());
    connect(m_tail, &QSlider::valueChanged, this, [this](int value) {
        // A division, so that 0.3 is stored as 0.3 and not as 6 * 0.05 = 0.30000000000000004.
        m_services.prefs.setTailSeconds(value / double(tailStepsPerSecond));
        showTail(value);
    });
    section->addRow(QStringLiteral("Keep listening after release"), tail);
    m_tail->setAccessibleName(QStringLiteral("Keep listening after release"));

    if (m_services.updater && m_services.updater->canUpdate()) {
        m_autoUpdate = new QCheckBox(QStringLiteral("Install updates automatically"), this);
        m_autoUpdate->setChecked(prefs.autoUpdate());
        connect(m_autoUpdate, &QCheckBox::toggled, this,
                [this](bool on) { m_services.prefs.setAutoUpdate(on); });
        section->addRow(m_autoUpdate);
    }

    m_login = new QCheckBox(QStringLiteral("Launch at login"), this);
    m_login->setChecked(m_services.loginItem.isEnabled());
    // A failure is not reported: the switch keeps the position the user gave it.
    connect(m_login, &QCheckBox::toggled, this,
            [this](bool on) { (void)m_services.loginItem.setEnabled(on); });
    section->addRow(m_login);

    section->setFooter(QStringLiteral(
        "Hold to talk, release to paste. Double-tap to lock it on; tap again to finish. Tap ⇧ "
        "Shift while talking to switch mode. Esc cancels."));
    return section;
}

void GeneralView::showTail(int step)
{
    const auto ms = std::lround(step * 1000.0 / tailStepsPerSecond);
    m_tailLabel->setText(QStringLiteral("%1 ms").arg(ms));
}

void GeneralView::openMicrophoneSettings()
{
    const auto settings = SoundSettings::find(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    bool started = false;
    if (settings) {
        started = m_services.launch
                      ? m_services.launch(settings->program, settings->arguments)
                      : QProcess::startDetached(settings->program, settings->arguments);
    }
    m_mic->setNote(started ? QString()
                           : QStringLiteral("No sound settings found. Check that PulseAudio or "
                                            "PipeWire is running and a microphone is plugged in."));
}

void GeneralView::enableAccessibility()
{
    if (m_services.enableAccessibility)
        m_services.enableAccessibility();
    if (m_services.canSendKeys && !m_services.canSendKeys()) {
        m_ax->setNote(QStringLiteral("This X server has no XTEST extension, so Quillet can copy "
                                     "your text but not paste it."));
        return;
    }
    // Toolkits look at the setting when an application starts, Quillet's adapter included.
    m_ax->setNote(QStringLiteral("Accessibility is now on for your desktop. If this stays orange, "
                                 "restart Quillet and the applications you dictate into."));
}

} // namespace quillet
