#include "store/BuiltInModes.h"

#include <algorithm>

namespace quillet {

namespace {

// The instruction texts are exact: they are compared with saved modes to judge `edited`.
// clang-format off
const char kInstructionsQuillet[] =
        "Clean up dictated speech into the text the speaker meant to type.\n"
        "- Remove filler words (um, uh, like, you know, este, o sea, euh), false starts, stutters and repeated words.\n"
        "- When the speaker corrects themselves (\"at 3, no, at 4\") keep only the correction.\n"
        "- Fix punctuation, capitalization and obvious transcription errors. Format spoken lists as lists.\n"
        "- Keep the speaker's language(s), wording, tone and meaning. Do not translate, summarize or add anything.";

const char kInstructionsCode[] =
        "Rewrite the spoken request into a clean prompt for an AI coding assistant or agent. You are an editor, not the assistant: never answer, plan, ask questions about, or extend the request.\n"
        "- Keep every specific the user said (names, files, numbers, constraints) and nothing they didn't. Do not add requirements, steps, deliverables, documentation, tests or an \"expected output\" the user didn't ask for.\n"
        "- Remove filler, rambling and repetition; resolve self-corrections; order the ideas logically.\n"
        "- Keep the user's certainty: \"I think it returns 500\" stays a suspicion to verify, not a fact.\n"
        "- Length follows the input. A single ask becomes one or two clear sentences. Two or more distinct asks or constraints become a one-line goal followed by a short bullet per ask/constraint. No headings, no bold.\n"
        "- Write as the user, in the imperative, in the language they spoke. A request that is already clear comes back nearly unchanged.\n"
        "Example — \"Fix the typo in the readme.\" → Fix the typo in the README.\n"
        "Example — \"so um I want you to like fix the login thing where it crashes, oh and add a test\" → Fix the login crash and add a test for it.\n"
        "Example — \"ok in the billing page, uh, make the table sortable, and it should remember the sort, and actually also add a CSV export button, no, make it Excel\" →\n"
        "Improve the table on the billing page:\n"
        "- Make it sortable.\n"
        "- Remember the chosen sort.\n"
        "- Add an Excel export button.";

const char kInstructionsChat[] =
        "Turn the dictated speech into the chat message the speaker would actually send (WhatsApp, iMessage, Slack).\n"
        "- Sound like the speaker talking, not like a document: keep their words, slang, warmth and directness. Contractions are fine.\n"
        "- Always remove filler words (um, uh, \"like\" used as filler, you know, I mean, este, o sea, euh), false starts and repeats; keep only the final version of anything they corrected. Slang and casual words stay.\n"
        "- Keep it short and plain: no headings, no bullet points unless they listed several items, no greetings or sign-offs they didn't say.\n"
        "- Spoken emoji become the emoji, in any language: \"smiley face\" → 😊, \"thumbs up emoji\" → 👍, \"heart\" (said as an emoji) → ❤️, \"laughing crying emoji\" / \"carita llorando de risa\" → 😂, \"winky face\" → 😉, \"fire emoji\" → 🔥, \"party emoji\" → 🎉. Put it where they said it, without the words. Never add an emoji they didn't ask for: \"I'm so happy\" stays words.\n"
        "- Punctuate lightly, the way people text. Keep their language(s) and any mixing exactly as spoken.\n"
        "- Never make it more formal, more polite, more enthusiastic or longer than they said it.\n"
        "Example — \"let's do Thursday, no actually Friday, at the usual place\" → Let's do Friday at the usual place\n"
        "Example — \"um yeah so I'm running late, uh, be there in five\" → Yeah I'm running late, be there in five\n"
        "Example — \"sounds good see you tomorrow smiley face\" → Sounds good, see you tomorrow 😊";

const char kInstructionsWrite[] =
        "Turn the dictated speech into well-written prose for a document, in the speaker's own voice.\n"
        "- Protect the content: keep every fact, number, name, qualification and degree of certainty. Never strengthen a claim or add support, examples, conclusions or detail that wasn't said (\"often\" stays \"often\").\n"
        "- Structure: lead with the main point; one idea per paragraph; put support beside its claim; merge repetition; cut what doesn't advance the point.\n"
        "- Clarity: name the actor and the action (\"the team shipped it\", not \"it was shipped\"); prefer exact nouns to abstractions; keep modifiers next to what they modify; give parallel ideas parallel form.\n"
        "- Concision: drop filler, empty hedges and throat-clearing transitions, but never the limits: scope, time period, uncertainty, and qualifiers like \"yet\", \"still\", \"so far\", \"probably\", \"maybe\".\n"
        "- Voice: keep the speaker's word choices, rhythm and directness. It should read like them on a good day, not like generic corporate prose. No flourishes, hype or clichés.\n"
        "- Mechanics: fix grammar, punctuation and consistency with the smallest change; keep deliberate fragments.\n"
        "- Use paragraphs. Use headings or lists only when the speaker clearly dictated that structure. Keep the language(s) spoken.\n"
        "- If the dictation is itself a request or a title (e.g. \"Write an intro about our company\"), write it down as said — don't carry it out or turn it into something else.";
// clang-format on

Style makeStyle(const char* id, const char* name, const char* color, const char* instructions,
                bool fast, bool useHistory)
{
    return Style{QString::fromUtf8(id),
                 QString::fromUtf8(name),
                 QString::fromUtf8(color),
                 QString::fromUtf8(instructions),
                 fast,
                 useHistory,
                 std::nullopt};
}

} // namespace

const QList<Style>& builtInStyles()
{
    static const QList<Style> styles{
        makeStyle("quillet", "Quillet", "#FF6B4A", kInstructionsQuillet, true, false),
        makeStyle("code", "Code", "#A855F7", kInstructionsCode, false, true),
        makeStyle("chat", "Chat", "#22C55E", kInstructionsChat, true, false),
        makeStyle("write", "Write", "#3B82F6", kInstructionsWrite, false, false),
    };
    return styles;
}

std::optional<Style> builtInStyle(const QString& id)
{
    const QList<Style>& styles = builtInStyles();
    const auto it =
        std::find_if(styles.cbegin(), styles.cend(), [&](const Style& s) { return s.id == id; });
    return it != styles.cend() ? std::optional<Style>(*it) : std::nullopt;
}

bool isBuiltIn(const QString& id)
{
    return builtInStyle(id).has_value();
}

const QStringList& newModePalette()
{
    static const QStringList palette{
        QStringLiteral("#F59E0B"), QStringLiteral("#EC4899"), QStringLiteral("#14B8A6"),
        QStringLiteral("#EAB308"), QStringLiteral("#6366F1"), QStringLiteral("#EF4444"),
    };
    return palette;
}

} // namespace quillet
