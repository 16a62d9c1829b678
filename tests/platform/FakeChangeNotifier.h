#pragma once

#include "platform/ChangeNotifier.h"

namespace quillet {

// Counts the announcements this process made; announceFromElsewhere() plays another process.
class FakeChangeNotifier final : public ChangeNotifier {
    Q_OBJECT
public:
    int posts = 0;        // vocabulary and modes
    int historyPosts = 0; // history

    void post(Topic topic) override { ++(topic == Topic::history ? historyPosts : posts); }
    QCoro::Task<void> flush() override { co_return; }
    void announceFromElsewhere(Topic topic = Topic::vocab) { emit received(topic); }
};

} // namespace quillet
