#include "cli/Commands.h"
#include "cli/LoadedProject.h"
#include "engine/TTransList.h"

#include <cstdio>

namespace Cli {

namespace {

const char* const kUsage = "Usage: corvane check PROJECT\n"
                           "\n"
                           "Loads the project and prints every loading message. Exit status 0\n"
                           "when none is an error or a warning, 1 otherwise.\n";

} // namespace

int runCheck(int argc, char** argv) {
    char* args[1];
    if (const int status = parseArguments(argc, argv, 1, kUsage, args); status >= 0)
        return status;
    LoadedProject project;
    if (!project.loadReporting(args[0], stdout))
        return kExitFailure;
    int translators = 0;
    for (int i = 0; i < project.presets().presetCount(); ++i)
        translators += project.presets().preset(i)->count();
    std::fprintf(stderr, "%s: %d presets, %d translators\n", args[0],
                 project.presets().presetCount(), translators);
    return project.hasProblems() ? kExitFailure : kExitSuccess;
}

} // namespace Cli
