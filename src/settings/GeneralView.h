#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace quillet {

class IntegrationSection;
class PermissionRow;
class ProcessingSection;
struct SettingsServices;

// The General tab: the two permissions, the push-to-talk key and how long to keep listening,
// updating and launching at login, the transcription options, and what serves each desktop
// function.
class GeneralView : public QWidget {
    Q_OBJECT
public:
    explicit GeneralView(const SettingsServices& services, QWidget* parent = nullptr);

    // "Keep listening after release" offers 0 to 0.8 s in steps of 0.05 s.
    static constexpr int tailSteps = 16;
    static constexpr int tailStepsPerSecond = 20;

    PermissionRow* microphoneRow() const { return m_mic; }
    PermissionRow* accessibilityRow() const { return m_ax; }
    QComboBox* hotkeyPicker() const { return m_hotkey; }
    QSlider* tailSlider() const { return m_tail; }
    QLabel* tailLabel() const { return m_tailLabel; }
    // Null when this build cannot update itself.
    QCheckBox* autoUpdateToggle() const { return m_autoUpdate; }
    QCheckBox* loginToggle() const { return m_login; }
    ProcessingSection* processing() const { return m_processing; }
    // Null when the services have no integration to show.
    IntegrationSection* integration() const { return m_integration; }
    // Scrolls the tab to "Desktop integration".
    void revealIntegration();

private:
    QWidget* permissions();
    QWidget* hotkeySection();
    void openMicrophoneSettings();
    void enableAccessibility();
    void showTail(int step);

    const SettingsServices& m_services;
    PermissionRow* m_mic = nullptr;
    PermissionRow* m_ax = nullptr;
    QComboBox* m_hotkey = nullptr;
    QSlider* m_tail = nullptr;
    QLabel* m_tailLabel = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QCheckBox* m_login = nullptr;
    ProcessingSection* m_processing = nullptr;
    IntegrationSection* m_integration = nullptr;
};

} // namespace quillet
