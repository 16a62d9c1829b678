#include "app/Commands.h"
#include "app/Engine.h"
#include "app/Rewriter.h"
#include "speech/AudioConverter.h"
#include "speech/SpeechSession.h"
#include "speech/WavFile.h"
#include "store/Store.h"

namespace quillet {

namespace {

const char* const kTranscribeUsage =
    "Usage: quillet transcribe FILE [--mode ID] [--app NAME]\n"
    "Streams FILE (WAV: 16-bit PCM or 32-bit float, any rate and channel count) to the speech\n"
    "service at the pace of real time and prints the final transcript, processed like a\n"
    "dictation in mode ID (default: the default mode) for the application NAME.\n";

// Frames of the file handed to the converter at a time, as a microphone buffer would be.
constexpr qsizetype sliceFrames = 1024;

struct Options {
    QString file;
    QString mode;
    QString app;
};

int usage(CommandEnv& env, const QString& problem)
{
    env.err << "quillet transcribe: " << problem << "\n" << kTranscribeUsage;
    return 2;
}

int fail(CommandEnv& env, const QString& problem)
{
    env.err << "quillet transcribe: " << problem << "\n";
    return 1;
}

std::optional<Options> parse(CommandEnv& env, int& code)
{
    Options options;
    QStringList args = env.args;
    while (!args.isEmpty()) {
        const QString word = args.takeFirst();
        if (word == u"--mode" || word == u"--app") {
            if (args.isEmpty()) {
                code = usage(env, QStringLiteral("%1 needs a value").arg(word));
                return std::nullopt;
            }
            (word == u"--mode" ? options.mode : options.app) = args.takeFirst();
        } else if (word.startsWith(u"--") || !options.file.isEmpty()) {
            code = usage(env, QStringLiteral("unexpected \"%1\"").arg(word));
            return std::nullopt;
        } else {
            options.file = word;
        }
    }
    if (options.file.isEmpty()) {
        code = usage(env, QStringLiteral("no file given"));
        return std::nullopt;
    }
    return options;
}

// The key is known before streaming starts; the transcriber still asks through its provider.
QCoro::Task<Result<QString>> knownKey(QString key)
{
    co_return Result<QString>(std::move(key));
}

} // namespace

// The hidden preference "transcribePace" sets the streaming speed as a multiple of real time
// (default 1; 0 sends as fast as the file can be read, which tests use to stay quick).
QCoro::Task<int> runTranscribeCommand(CommandEnv env)
{
    if (env.args.size() == 1 && (env.args.first() == u"--help" || env.args.first() == u"help")) {
        env.out << kTranscribeUsage;
        co_return 0;
    }
    int code = 0;
    const auto options = parse(env, code);
    if (!options)
        co_return code;

    const auto wav = WavFile::read(options->file);
    if (!wav)
        co_return fail(env, wav.error());
    auto converter = AudioConverter::create(wav->format());
    if (!converter)
        co_return fail(env, QStringLiteral("cannot convert %1: %2")
                                .arg(wav->format().description(), converter.error()));

    Engine& engine = env.engine;
    QCoro::Task<void> loading = engine.keys().load();
    co_await loading;
    const auto key = engine.keys().speechKey();
    if (!key)
        co_return fail(env, QStringLiteral("no Soniox key: add it in the settings or set "
                                           "SONIOX_API_KEY"));

    SpeechStream::Options speechOptions;
    speechOptions.languages = engine.prefs().languages();
    speechOptions.translateTo = engine.prefs().translateTo();
    speechOptions.terms = engine.store().vocab().terms;

    SpeechSession session([k = *key] { return knownKey(k); }, engine.speechStreams(), speechOptions,
                          engine.clock());
    // Once the service is lost for good there is no point in sending the rest.
    bool gaveUp = false;
    QObject::connect(&session, &SpeechSession::errorOccurred, &session,
                     [&gaveUp] { gaveUp = true; });

    const double pace = engine.prefs().number(QStringLiteral("transcribePace"), 1.0);
    const AudioFormat& format = wav->format();
    const QByteArray& frames = wav->frames();
    const qsizetype sliceBytes = sliceFrames * format.bytesPerFrame();
    const double started = engine.clock().uptime();
    qsizetype sent = 0;
    for (qsizetype at = 0; at < frames.size() && !gaveUp; at += sliceBytes) {
        const qsizetype count = std::min(sliceBytes, frames.size() - at) / format.bytesPerFrame();
        auto chunk = (*converter)->convert(frames.constData() + at, count);
        if (!chunk.audio.isEmpty())
            session.send(chunk.audio);
        sent += count;
        if (pace > 0) {
            // Each slice leaves when a microphone would have delivered it.
            const double due = started + static_cast<double>(sent) / format.sampleRate / pace;
            if (const double wait = due - engine.clock().uptime(); wait > 0)
                co_await engine.clock().sleep(wait);
        }
    }
    if (!gaveUp) {
        auto tail = (*converter)->flush();
        if (!tail.audio.isEmpty())
            session.send(tail.audio);
    }

    QCoro::Task<Transcript> finishing = session.finish();
    const Transcript transcript = co_await finishing;
    QString text = transcript.text;
    if (!text.isEmpty()) {
        // The same text processing a dictation gets: replacements, then the mode's rewrite.
        Rewriter rewriter(engine);
        const QString mode = options->mode.isEmpty() ? QStringLiteral("quillet")
                                                     : rewriter.modeIdFor(options->mode, env.err);
        const std::optional<QString> app =
            options->app.isEmpty() ? std::nullopt : std::optional<QString>(options->app);
        // The call stands apart from the co_await (g++ 12 may destroy its temporaries twice).
        QCoro::Task<QString> run = rewriter.rewrite(text, mode, app, env.err);
        text = co_await run;
    }
    if (!text.isEmpty())
        env.out << text << "\n";
    env.out.flush();
    if (transcript.outcome != Transcript::Outcome::complete)
        co_return fail(env, transcript.error);
    co_return 0;
}

} // namespace quillet
