#pragma once

#include "platform/Accessibility.h"
#include "store/Entry.h"
#include "util/Clock.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>

namespace quillet {

class Preferences;
class SpellChecker;
class Store;

// Watches the field a dictation was pasted into for a minute: when the user corrects words of
// the pasted text there, the corrections are learned (once) and reported with the words learned.
// It reads the field 8, 25 and 60 s after it starts, and ends silently on any failure: a field
// that has gone away or no longer reads as text, or nothing worth learning by the third read.
// Main thread.
class LearnWatcher : public QObject {
    Q_OBJECT
public:
    // The waits before each read.
    static constexpr std::array<double, 3> waits = {8, 17, 35};

    using OnLearn = std::function<void(const QStringList& words)>;

    struct Services {
        Accessibility& accessibility;
        Store& store;
        SpellChecker& spelling;
        Preferences& prefs;
        Clock& clock;
    };

    // Starts watching `element` at once; `entry.text` is what was pasted there.
    LearnWatcher(Services services, Entry entry, ElementHandle element, OnLearn onLearn,
                 QObject* parent = nullptr);

    // Ends the watch; no read follows.
    void cancel();
    bool isRunning() const { return m_timer.isActive(); }

signals:
    // The watch is over, whatever ended it.
    void ended();

private:
    void read();
    void end();

    Services m_services;
    Entry m_entry;
    ElementHandle m_element;
    OnLearn m_onLearn;
    size_t m_reads = 0;
    Timer m_timer;
};

} // namespace quillet
