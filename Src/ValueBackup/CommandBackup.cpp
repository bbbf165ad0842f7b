#include "CommandBackup.hpp"

namespace {

// Module-wide, as the expression store: constructed before the module's load steps, destroyed
// after its unload steps.
#if defined(__GNUC__)
__attribute__((init_priority(200)))
#endif
CommandBackup commandBackup;

}  // namespace

CommandBackup& CurrentCommandBackup()
{
    return commandBackup;
}
