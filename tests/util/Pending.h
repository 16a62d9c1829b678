#pragma once

#include <QCoroTask>

#include <memory>
#include <optional>

namespace quillet::test {

// Runs a task in the background and keeps its result, so a test can wait for it with QTRY_*.
template <typename T> class Pending {
public:
    explicit Pending(QCoro::Task<T> task)
        : m_runner(run(std::move(task), m_result))
    {}
    bool done() const { return m_result->has_value(); }
    const T& value() const { return **m_result; }

private:
    static QCoro::Task<void> run(QCoro::Task<T> task, std::shared_ptr<std::optional<T>> out)
    {
        *out = co_await std::move(task);
    }

    std::shared_ptr<std::optional<T>> m_result = std::make_shared<std::optional<T>>();
    QCoro::Task<void> m_runner;
};

} // namespace quillet::test
