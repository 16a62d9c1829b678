// speechsim: a stand-in for the real-time speech service, for tests on loopback.
//
//   speechsim [--port N] [--words "hello world from quillet"] [--ms-per-word 300]
//             [--translations "bonjour monde de quillet"] [--key KEY] [--log FILE]
//             [--drop-at-ms N [--drop-connections 1,2,3]]
//             [--error-at-ms N [--error-code 503] [--error-connections LIST]]
//             [--stall-at-ms N [--stall-connections LIST]]
//             [--lag-ms N [--lag-connections LIST]]
//
// Listens on 127.0.0.1 (port 0 picks a free one) and prints "PORT <n>" as the first line of
// stdout once it accepts connections. Any path is accepted. It runs until killed.
//
// Protocol, per connection:
// - The first message must be the JSON configuration (text frame). The key is taken from the
//   "Authorization: Bearer <key>" handshake header or the message's "api_key". With --key only
//   that key is accepted; without it any non-empty key is. A missing or wrong key gets
//   {"error_code":401,...}; a malformed configuration (model, audio_format "pcm_s16le",
//   sample_rate 16000, num_channels 1, language_hints strings, translation one_way) gets 400;
//   either is followed by a close with code 1000.
// - Binary frames are 16 kHz mono s16le audio; 32 bytes are one millisecond. After each frame it
//   answers with the words heard so far. Word i of --words is spoken during
//   [i, i+1) x --ms-per-word of script time: it is reported provisional ("is_final": false) once
//   half of it was heard and final once all of it was. Each response carries
//   "final_audio_proc_ms" and "total_audio_proc_ms" (this connection's milliseconds).
// - {"type":"finalize"}: every word heard so far becomes final, followed by a "<fin>" token.
// - An empty text frame (end of audio): the remaining finals with "finished": true, then a close
//   with code 1000.
// - With a "translation" object in the configuration, every word comes as an "original" token
//   followed by a "translation" token (from --translations, else the word in capitals).
//
// Script time of a connection's first byte: 0 for a connection that starts a recording (the first,
// or one after a session that ended normally). A connection after one that did not end normally
// replays part of the recording: its first audio is looked up, at whole milliseconds, in what the
// sessions of this recording heard from the failed one's start on, and it starts where that
// audio was heard (where it is ambiguous, as in silence, more audio is awaited, then the earliest
// place is taken). Answers wait until the place is found, so a client that replays from the wrong
// point gets words twice or misses some.
//
// Faults, at a time in the connection's own audio (ms), on the listed connections (numbered from
// 1 in order of arrival; without a list, on every connection):
//   --drop-at-ms    the socket is dropped (no close handshake);
//   --error-at-ms   an error response with --error-code, then a close with 1000;
//   --stall-at-ms   it stops answering (the socket stays open);
//   --lag-ms        it answers that many milliseconds of audio behind (finalize catches up).
//
// --log FILE appends one JSON object per line: connect (authorization header present, path),
// config (the configuration with the key redacted), base (script time of the first byte),
// audio (bytes, offset), text (other text frames), reject/error/drop/stall, fin, finished, and
// closed (close code). Keys are never logged.

#include "SimOptions.h"
#include "SpeechSimulator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString message;
    const auto options = quillet::sim::parseSimOptions(app.arguments(), message);
    if (!options) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return 2;
    }
    quillet::sim::SpeechSimulator simulator(*options);
    if (!simulator.listen(message)) {
        std::fprintf(stderr, "speechsim: %s\n", qPrintable(message));
        return 1;
    }
    std::printf("PORT %u\n", static_cast<unsigned>(simulator.port()));
    std::fflush(stdout);
    return app.exec();
}
