#include "app/Commands.h"

// Commands whose subsystems have not landed yet answer honestly instead of failing to link.
// Each moves to its own file as it is implemented.

namespace quillet {

namespace {
QCoro::Task<int> notYet(CommandEnv env, const char* name)
{
    env.err << "quillet: \"" << name << "\" is not available in this build yet\n";
    co_return 3;
}
} // namespace

QCoro::Task<int> runTranscribeCommand(CommandEnv env)
{
    return notYet(env, "transcribe");
}

} // namespace quillet
