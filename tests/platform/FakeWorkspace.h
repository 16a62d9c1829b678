#pragma once

#include "platform/Workspace.h"

namespace quillet {

// A desktop whose front application and open applications the test sets.
class FakeWorkspace final : public Workspace {
public:
    bool available = true;
    std::optional<FrontApp> front;
    QList<RunningApp> running;
    int frontReads = 0;

    bool isAvailable() const override { return available; }
    std::optional<FrontApp> frontApp() override
    {
        ++frontReads;
        return front;
    }
    QList<RunningApp> runningApps() override { return running; }
};

} // namespace quillet
