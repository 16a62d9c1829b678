#pragma once

#include <QPointer>
#include <QWidget>

class QListWidget;
class QPushButton;

namespace quillet {

class AppModesSection;
class StyleEditor;
struct SettingsServices;
struct Style;

// The Modes tab: the modes in their order (a row opens the editor, rows are dragged to reorder
// them), "Add mode", and the per-application starting mode.
class ModesView : public QWidget {
    Q_OBJECT
public:
    explicit ModesView(const SettingsServices& services, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QPushButton* addButton() const { return m_add; }
    AppModesSection* apps() const { return m_apps; }

    // Opens the editor, window-modal, on a working copy of `style` (unless one is open).
    StyleEditor* edit(const Style& style, bool inList);

private:
    void reload();
    void moved(int start, int end, int destination);

    const SettingsServices& m_services;
    QListWidget* m_list;
    QPushButton* m_add;
    AppModesSection* m_apps;
    QPointer<StyleEditor> m_editor;
};

} // namespace quillet
