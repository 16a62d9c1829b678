#pragma once

#include "platform/ChangeNotifier.h"

namespace quillet {

// Counts the announcements this process made; announceFromElsewhere() plays another process.
class FakeChangeNotifier final : public ChangeNotifier {
    Q_OBJECT
public:
    int posts = 0;

    void post() override { ++posts; }
    QCoro::Task<void> flush() override { co_return; }
    void announceFromElsewhere() { emit received(); }
};

} // namespace quillet
