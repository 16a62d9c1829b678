#pragma once

#include <QDateTime>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quillet {

class FixSheet;
struct Entry;
struct SettingsServices;

// The History tab: the dictations, newest first, each with its time, application, mode and
// text, and the buttons "Fix" and "Copy"; "Clear" above them. Rows are made as the list is
// scrolled, a batch at a time: the history holds up to 500 entries.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int batch = 20;

    explicit HistoryView(const SettingsServices& services, QWidget* parent = nullptr);

    // The caption's time: the time alone when `date` falls on the day of `now`, else the
    // abbreviated month, the day and the time (in the local time zone and the default locale).
    static QString timeText(const QDateTime& date, const QDateTime& now);

    // Opens the fix sheet, window-modal, for `entry`.
    FixSheet* fix(const Entry& entry);

    QPushButton* clearButton() const { return m_clear; }
    QLabel* emptyState() const { return m_empty; }
    // One child per entry shown so far, in the store's order.
    QWidget* rows() const { return m_rows; }
    int shownRows() const { return m_shown; }
    // Makes the next batch of rows.
    void showMore();

private:
    void reload();
    QWidget* makeRow(const Entry& entry, QWidget* parent);

    const SettingsServices& m_services;
    QPushButton* m_clear;
    QLabel* m_empty;
    QScrollArea* m_scroll;
    QWidget* m_rows = nullptr;
    int m_shown = 0;
};

} // namespace quillet
