#include "SimOptions.h"

#include <QCommandLineParser>

namespace quillet::sim {

namespace {

std::optional<qint64> parseMs(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

std::optional<QSet<int>> parseConnections(const QString& text)
{
    QSet<int> result;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n < 1)
            return std::nullopt;
        result.insert(n);
    }
    return result;
}

} // namespace

std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString& message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speech-service simulator"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (0: any)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption words(QStringLiteral("words"), QStringLiteral("Words to recognise."),
                                   QStringLiteral("text"));
    const QCommandLineOption translations(QStringLiteral("translations"),
                                          QStringLiteral("Translated words, one per word."),
                                          QStringLiteral("text"));
    const QCommandLineOption msPerWord(QStringLiteral("ms-per-word"),
                                       QStringLiteral("Audio milliseconds per word."),
                                       QStringLiteral("ms"), QStringLiteral("300"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("The only accepted key."),
                                 QStringLiteral("key"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("JSON-lines log file."),
                                 QStringLiteral("file"));
    const QCommandLineOption dropAt(QStringLiteral("drop-at-ms"),
                                    QStringLiteral("Drop the socket at this audio time."),
                                    QStringLiteral("ms"));
    const QCommandLineOption dropConnections(QStringLiteral("drop-connections"),
                                             QStringLiteral("Connections to drop (e.g. 1,2,3)."),
                                             QStringLiteral("list"));
    const QCommandLineOption errorAt(QStringLiteral("error-at-ms"),
                                     QStringLiteral("Send an error response at this audio time."),
                                     QStringLiteral("ms"));
    const QCommandLineOption errorCode(QStringLiteral("error-code"),
                                       QStringLiteral("Code of the injected error."),
                                       QStringLiteral("code"), QStringLiteral("503"));
    const QCommandLineOption errorConnections(QStringLiteral("error-connections"),
                                              QStringLiteral("Connections given the error."),
                                              QStringLiteral("list"));
    const QCommandLineOption stallAt(QStringLiteral("stall-at-ms"),
                                     QStringLiteral("Stop answering at this audio time."),
                                     QStringLiteral("ms"));
    const QCommandLineOption stallConnections(QStringLiteral("stall-connections"),
                                              QStringLiteral("Connections that stall."),
                                              QStringLiteral("list"));
    const QCommandLineOption lag(QStringLiteral("lag-ms"),
                                 QStringLiteral("Answer this many milliseconds behind."),
                                 QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption lagConnections(QStringLiteral("lag-connections"),
                                            QStringLiteral("Connections that lag."),
                                            QStringLiteral("list"));
    parser.addOptions({port, words, translations, msPerWord, key, log, dropAt, dropConnections,
                       errorAt, errorCode, errorConnections, stallAt, stallConnections, lag,
                       lagConnections});
    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        message = parser.helpText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
        return std::nullopt;
    }

    SimOptions options;
    bool ok = true;
    auto fail = [&](const QCommandLineOption& option) {
        message = QStringLiteral("Invalid value for --") + option.names().first();
        ok = false;
    };
    const auto portValue = parseMs(parser.value(port));
    if (!portValue || *portValue > 65535)
        fail(port);
    else
        options.port = static_cast<quint16>(*portValue);
    options.words = parser.value(words).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    options.translations = parser.value(translations).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (const auto v = parseMs(parser.value(msPerWord)); v && *v > 0)
        options.msPerWord = *v;
    else
        fail(msPerWord);
    if (parser.isSet(key))
        options.key = parser.value(key);
    options.logPath = parser.value(log);

    auto readFault = [&](Fault& fault, const QCommandLineOption& at,
                         const QCommandLineOption& connections) {
        if (parser.isSet(at)) {
            fault.atMs = parseMs(parser.value(at));
            if (!fault.atMs)
                fail(at);
        }
        if (const auto list = parseConnections(parser.value(connections)))
            fault.connections = *list;
        else
            fail(connections);
    };
    readFault(options.drop, dropAt, dropConnections);
    readFault(options.error, errorAt, errorConnections);
    readFault(options.stall, stallAt, stallConnections);
    bool codeOk = false;
    options.errorCode = parser.value(errorCode).toInt(&codeOk);
    if (!codeOk)
        fail(errorCode);
    if (const auto v = parseMs(parser.value(lag)))
        options.lagMs = *v;
    else
        fail(lag);
    if (const auto list = parseConnections(parser.value(lagConnections)))
        options.lagConnections = *list;
    else
        fail(lagConnections);
    if (!ok)
        return std::nullopt;
    return options;
}

} // namespace quillet::sim
