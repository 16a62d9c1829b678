#pragma once

#include "processing/Provider.h"

#include <QWidget>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillet {

class KeyField;
struct SettingsServices;

// The Account tab: the Soniox key, the text-processing provider with its key, models and base
// URL, and "Test text processing". Keys go to the keyring; everything else to the preferences.
class KeysView : public QWidget {
    Q_OBJECT
public:
    explicit KeysView(const SettingsServices& services, QWidget* parent = nullptr);

    // Chooses the provider as the picker does: stores it and shows its key, models and URL.
    void setProvider(Provider provider);
    // Runs the test; the result line shows its progress and outcome.
    void testTextProcessing();

    QLabel* keyringStatus() const { return m_keyringStatus; }
    KeyField* speechKey() const { return m_speechKey; }
    QComboBox* providerPicker() const { return m_provider; }
    KeyField* providerKey() const { return m_providerKey; }
    QLabel* providerHelp() const { return m_providerHelp; }
    QLineEdit* fastModel() const { return m_fastModel; }
    QLineEdit* qualityModel() const { return m_qualityModel; }
    QLineEdit* baseURL() const { return m_baseURL; }
    QLabel* baseURLWarning() const { return m_baseURLWarning; }
    QPushButton* testButton() const { return m_test; }
    QLabel* testResult() const { return m_result; }

private:
    void showProvider();
    void showKeyringStatus();
    void showBaseURLWarning();

    const SettingsServices& m_services;
    QLabel* m_keyringStatus;
    KeyField* m_speechKey;
    QComboBox* m_provider;
    KeyField* m_providerKey;
    QLabel* m_providerHelp;
    QLineEdit* m_fastModel;
    QLineEdit* m_qualityModel;
    QFormLayout* m_providerForm;
    QLineEdit* m_baseURL;
    QLabel* m_baseURLWarning;
    QPushButton* m_test;
    QLabel* m_result;
};

} // namespace quillet
