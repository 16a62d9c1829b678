#include "settings/KeysView.h"

#include "processing/ProviderSettings.h"
#include "processing/TextProcessor.h"
#include "settings/KeyField.h"
#include "settings/Section.h"
#include "settings/SettingsServices.h"
#include "settings/Symbols.h"
#include "store/KeyStore.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

bool hasBuiltInKey(const char* environmentName, const char* infoKey)
{
    const auto key = KeyStore::builtInKey(environmentName, infoKey);
    return key && KeyStore::isUsableKey(*key);
}

QLabel* help(const QString& html, QWidget* parent)
{
    auto* label = new QLabel(html, parent);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setOpenExternalLinks(true);
    Section::makeSecondary(label);
    return label;
}

QString providerHelpText(Provider provider)
{
    switch (provider) {
    case Provider::cerebras:
        return QStringLiteral("Fastest. Sign up at <a href=\"https://cloud.cerebras.ai\">"
                              "cloud.cerebras.ai</a>, open <b>API Keys</b>, create one and paste "
                              "it here.");
    case Provider::openai:
        return QStringLiteral("Create a key at <a href=\"https://platform.openai.com/api-keys\">"
                              "platform.openai.com/api-keys</a> and paste it here.");
    case Provider::custom:
        break;
    }
    return QStringLiteral("Any OpenAI-compatible service (Groq, OpenRouter, a local server): "
                          "paste its key, base URL and model names.");
}

// A labelled field in the form of the provider's fields, whose labels line up.
QLineEdit* formField(QFormLayout* form, const QString& label)
{
    auto* field = new QLineEdit;
    field->setAccessibleName(label);
    form->addRow(label, field);
    return field;
}

} // namespace

KeysView::KeysView(const SettingsServices& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    auto* layout = new QVBoxLayout(this);
    auto* section = new Section(QString(), this);

    m_keyringStatus = new QLabel(this);
    m_keyringStatus->setWordWrap(true);
    QPalette warning = m_keyringStatus->palette();
    warning.setColor(QPalette::WindowText, Symbols::orange().darker(120));
    m_keyringStatus->setPalette(warning);
    section->addRow(m_keyringStatus);
    showKeyringStatus();
    connect(&services.keys, &KeyStore::statusChanged, this, &KeysView::showKeyringStatus);

    m_speechKey = new KeyField(services.keys, services.clock, KeyStore::sonioxAccount, this);
    m_speechKey->setPlaceholderText(hasBuiltInKey("SONIOX_API_KEY", "SonioxAPIKey")
                                        ? QStringLiteral("Soniox key (using built-in key)")
                                        : QStringLiteral("Soniox API key"));
    m_speechKey->setAccessibleName(QStringLiteral("Soniox API key"));
    section->addRow(m_speechKey);
    section->addRow(help(QStringLiteral("Sign up at the <a href=\"https://console.soniox.com\">"
                                        "Soniox console</a>, open <b>API Keys</b>, create a key "
                                        "and paste it here. Audio streams straight from this "
                                        "device to Soniox."),
                         this));

    m_provider = new QComboBox(this);
    for (const Provider p : {Provider::cerebras, Provider::openai, Provider::custom})
        m_provider->addItem(providers::displayName(p), static_cast<int>(p));
    section->addRow(QStringLiteral("Text processing"), m_provider);
    connect(m_provider, &QComboBox::activated, this, [this](int index) {
        setProvider(static_cast<Provider>(m_provider->itemData(index).toInt()));
    });

    const Provider current = services.providers.currentProvider();
    m_providerKey =
        new KeyField(services.keys, services.clock, ProviderSettings::keyAccount(current), this);
    section->addRow(m_providerKey);
    m_providerHelp = help(QString(), this);
    section->addRow(m_providerHelp);

    m_providerForm = new QFormLayout;
    m_providerForm->setContentsMargins(0, 0, 0, 0);
    m_fastModel = formField(m_providerForm, QStringLiteral("Fast model"));
    connect(m_fastModel, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_services.providers.setFastModel(text); });
    m_qualityModel = formField(m_providerForm, QStringLiteral("Quality model"));
    connect(m_qualityModel, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_services.providers.setQualityModel(text); });

    m_baseURL = formField(m_providerForm, QStringLiteral("Base URL"));
    section->addRow(m_providerForm);
    m_baseURLWarning = new QLabel(this);
    m_baseURLWarning->setWordWrap(true);
    m_baseURLWarning->setPalette(warning);
    section->addRow(m_baseURLWarning);
    connect(m_baseURL, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_services.providers.setBaseURL(text);
        showBaseURLWarning();
    });

    auto* test = new QHBoxLayout;
    m_test = new QPushButton(QStringLiteral("Test text processing"), this);
    connect(m_test, &QPushButton::clicked, this, &KeysView::testTextProcessing);
    test->addWidget(m_test);
    m_result = new QLabel(this);
    m_result->setWordWrap(true);
    m_result->setTextFormat(Qt::PlainText);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    test->addWidget(m_result, 1);
    section->addRow(test);

    section->setFooter(QStringLiteral("Your keys stay in this device's keyring. Cleanup and modes "
                                      "need a text-processing key; dictation works with Soniox "
                                      "alone."));
    layout->addWidget(section);
    layout->addStretch(1);
    showProvider();
}

void KeysView::setProvider(Provider provider)
{
    // A key typed for the provider being left belongs to that provider.
    m_providerKey->flush();
    m_services.providers.setProvider(provider);
    showProvider();
}

void KeysView::showProvider()
{
    const ProviderSettings& settings = m_services.providers;
    const Provider provider = settings.currentProvider();
    m_provider->setCurrentIndex(m_provider->findData(static_cast<int>(provider)));
    m_providerKey->setAccount(ProviderSettings::keyAccount(provider));
    const bool builtIn =
        provider == Provider::cerebras && hasBuiltInKey("CEREBRAS_API_KEY", "CerebrasAPIKey");
    m_providerKey->setPlaceholderText(builtIn ? QStringLiteral("API key (using built-in key)")
                                              : providers::displayName(provider) +
                                                    QStringLiteral(" API key"));
    m_providerKey->setAccessibleName(QStringLiteral("Text processing API key"));
    m_providerHelp->setText(providerHelpText(provider));
    m_fastModel->setText(settings.fastModel());
    m_fastModel->setPlaceholderText(providers::defaultFastModel(provider));
    m_qualityModel->setText(settings.qualityModel());
    m_qualityModel->setPlaceholderText(providers::defaultQualityModel(provider));
    m_baseURL->setText(settings.providerBaseURL());
    m_baseURL->setPlaceholderText(providers::defaultBaseURL(provider));
    m_providerForm->setRowVisible(m_baseURL, provider == Provider::custom);
    showBaseURLWarning();
}

void KeysView::showKeyringStatus()
{
    const QString status = m_services.keys.status();
    m_keyringStatus->setText(status);
    m_keyringStatus->setVisible(!status.isEmpty());
}

void KeysView::showBaseURLWarning()
{
    const QString warning = m_services.providers.baseURLStatus();
    m_baseURLWarning->setText(warning);
    m_baseURLWarning->setVisible(!warning.isEmpty());
}

void KeysView::testTextProcessing()
{
    // The test uses what was typed a moment ago, not what the idle pause would have written.
    m_providerKey->flush();
    const QPointer<QLabel> result(m_result);
    // The request runs on by itself; only its texts come back here, while the line exists.
    (void)m_services.processor.testTextProcessing([result](const QString& status) {
        if (result)
            result->setText(status);
    });
}

} // namespace quillet
