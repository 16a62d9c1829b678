#pragma once

#include "settings/Symbols.h"
#include "util/Clock.h"

#include <QList>
#include <QWidget>

class QTabWidget;

namespace quillet {

struct SettingsServices;

// The settings window itself: titled "Quillet", 600 × 560, five tabs. Each tab's content is
// built the first time the tab is shown. The selected tab is the preference "settingsTab", which
// holds the tab's tag; the tags are not in display order.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    struct Tab {
        QString label;
        Symbols::Name symbol;
        int tag;
    };
    // In display order.
    static const QList<Tab>& tabs();
    static constexpr int generalTag = 0;
    static constexpr int dictionaryTag = 1;
    static constexpr int historyTag = 2;
    static constexpr int accountTag = 3;
    static constexpr int modesTag = 4;

    // How long after the window appears its focused field lets go of the keyboard focus, so that
    // no field is focused when the window opens.
    static constexpr double focusDropDelay = 0.15;

    explicit SettingsView(const SettingsServices& services, QWidget* parent = nullptr);
    ~SettingsView() override;

    // Shows the tab with `tag` (an unknown tag means General) without storing the choice; only
    // the user's choice of a tab is stored.
    void selectTag(int tag);
    int currentTag() const;
    QTabWidget* tabWidget() const { return m_tabs; }
    // The content of the tab with `tag`, built if it has not been shown yet.
    QWidget* content(int tag);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* build(int tag);

    const SettingsServices& m_services;
    QTabWidget* m_tabs;
    // By tag: the built content, or null.
    QList<QWidget*> m_content;
    bool m_selecting = false;
    Timer m_focusDrop;
};

} // namespace quillet
