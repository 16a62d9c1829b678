#pragma once

#include "platform/Workspace.h"
#include "settings/Section.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QToolButton;

namespace quillet {

struct SettingsServices;

// "Starting mode": whether the mode is picked by application, and then the table of
// applications with their modes, the mode for every other application, "Add an app…" listing
// the open applications, and "Restore default apps".
class AppModesSection : public Section {
    Q_OBJECT
public:
    explicit AppModesSection(const SettingsServices& services, QWidget* parent = nullptr);

    // What "Add an app…" offers: the open applications not listed yet, Quillet left out, sorted
    // by name ignoring case.
    QList<RunningApp> addableApps() const;

    QCheckBox* perAppToggle() const { return m_perApp; }
    // The part shown while the toggle is on.
    QWidget* table() const { return m_table; }
    // One row per listed application.
    QWidget* rows() const { return m_rows; }
    QComboBox* otherAppsPicker() const { return m_otherApps; }
    QToolButton* addAppButton() const { return m_addApp; }
    QPushButton* restoreButton() const { return m_restore; }

private:
    void reload();
    QWidget* makeRows();
    QComboBox* modePicker(const QString& selectedId, QWidget* parent) const;
    QString nameOf(const QString& appId) const;
    void fillAddMenu();

    const SettingsServices& m_services;
    QCheckBox* m_perApp;
    QWidget* m_table;
    QWidget* m_rows = nullptr;
    QComboBox* m_otherApps;
    QToolButton* m_addApp;
    QPushButton* m_restore;
};

} // namespace quillet
