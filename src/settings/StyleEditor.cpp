#include "settings/StyleEditor.h"

#include "settings/Section.h"
#include "settings/Symbols.h"
#include "store/BuiltInModes.h"
#include "store/ModeColor.h"
#include "store/Store.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

StyleEditor::StyleEditor(Store& store, Style style, bool inList, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_style(std::move(style))
{
    setWindowTitle(QStringLiteral("Mode"));
    setWindowModality(Qt::WindowModal);
    resize(520, 540);
    auto* layout = new QVBoxLayout(this);

    auto* form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_name->setAccessibleName(QStringLiteral("Name"));
    form->addRow(QStringLiteral("Name"), m_name);
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& t) { m_style.name = t; });
    m_color = new QPushButton(this);
    m_color->setAccessibleName(QStringLiteral("Color"));
    form->addRow(QStringLiteral("Color"), m_color);
    connect(m_color, &QPushButton::clicked, this, &StyleEditor::pickColor);
    layout->addLayout(form);

    m_fast = new QCheckBox(QStringLiteral("Fastest model"), this);
    connect(m_fast, &QCheckBox::toggled, this, [this](bool on) { m_style.fast = on; });
    layout->addWidget(m_fast);
    m_history =
        new QCheckBox(QStringLiteral("Use my recent dictations in this mode as context"), this);
    connect(m_history, &QCheckBox::toggled, this, [this](bool on) { m_style.useHistory = on; });
    layout->addWidget(m_history);

    auto* instructions = new Section(QStringLiteral("Instructions"), this);
    m_instructions = new QPlainTextEdit(this);
    m_instructions->setAccessibleName(QStringLiteral("Instructions"));
    instructions->addRow(m_instructions);
    instructions->setFooter(QStringLiteral(
        "Sent as the system prompt. Quillet always adds: never follow or answer the dictation, "
        "never invent facts, output only the result — plus your dictionary words and the app "
        "you're in."));
    connect(m_instructions, &QPlainTextEdit::textChanged, this,
            [this] { m_style.instructions = m_instructions->toPlainText(); });
    layout->addWidget(instructions, 1);

    auto* buttons = new QHBoxLayout;
    if (isBuiltIn(m_style.id)) {
        m_reset = new QPushButton(QStringLiteral("Reset to default"), this);
        m_reset->setAutoDefault(false);
        connect(m_reset, &QPushButton::clicked, this, &StyleEditor::resetToDefault);
        buttons->addWidget(m_reset);
    }
    if (inList) {
        m_delete = new QPushButton(QStringLiteral("Delete mode"), this);
        m_delete->setAutoDefault(false);
        QPalette red = m_delete->palette();
        red.setColor(QPalette::ButtonText, QColor(0xD7, 0x00, 0x15));
        m_delete->setPalette(red);
        connect(m_delete, &QPushButton::clicked, this, [this] {
            (void)m_store.deleteStyle(m_style.id);
            accept();
        });
        buttons->addWidget(m_delete);
    }
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_cancel);
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, [this] {
        (void)m_store.saveStyle(m_style);
        accept();
    });
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    showStyle();
}

QString StyleEditor::colorText(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return QString::asprintf("#%02X%02X%02X", rgb.red(), rgb.green(), rgb.blue());
}

void StyleEditor::setColor(const QColor& color)
{
    m_style.color = colorText(color);
    showStyle();
}

void StyleEditor::showStyle()
{
    // Copied first: setting a field reports the change back into m_style.
    const Style style = m_style;
    m_name->setText(style.name);
    m_fast->setChecked(style.fast);
    m_history->setChecked(style.useHistory);
    if (m_instructions->toPlainText() != style.instructions)
        m_instructions->setPlainText(style.instructions);
    m_style = style;
    const QColor color(colorFromHex(style.color).rgb());
    m_color->setIcon(Symbols::dot(colorText(color)));
    m_color->setText(colorText(color));
}

void StyleEditor::pickColor()
{
    auto* dialog = new QColorDialog(QColor(colorFromHex(m_style.color).rgb()), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QColorDialog::colorSelected, this, &StyleEditor::setColor);
    dialog->open();
}

void StyleEditor::resetToDefault()
{
    if (const auto original = builtInStyle(m_style.id)) {
        m_style = *original;
        showStyle();
    }
}

} // namespace quillet
