#pragma once

#include <QCoroTask>
#include <QString>
#include <QTextStream>

#include <optional>

namespace quillet {

class Engine;

// Text processing as the command line uses it: the engine's, with the reason for a missing
// rewrite said on standard error, and modes named by id or name.
class Rewriter {
public:
    // `engine` must outlive the rewriter; its keys should be loaded.
    explicit Rewriter(Engine& engine)
        : m_engine(engine)
    {}

    // The engine's processText. When the service gives no reply, says why on `err` (the result
    // is then the text after the replacements).
    QCoro::Task<QString> rewrite(QString text, QString modeId, std::optional<QString> appName,
                                 QTextStream& err);

    // A mode given on the command line: a mode id, else a mode's name ignoring case. Anything
    // else is kept as given (it resolves to the default mode) and reported on `err`.
    QString modeIdFor(const QString& given, QTextStream& err) const;

private:
    Engine& m_engine;
};

} // namespace quillet
