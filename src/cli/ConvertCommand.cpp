#include "cli/Commands.h"
#include "cli/LoadedProject.h"

#include <cstdio>

namespace Cli {

namespace {

const char* const kUsage =
    "Usage: corvane convert PROJECT OUT\n"
    "\n"
    "Loads the project and saves it to OUT in the current file format. OUT is replaced\n"
    "only once the new file is complete.\n";

} // namespace

int runConvert(int argc, char** argv) {
    char* args[2];
    if (const int status = parseArguments(argc, argv, 2, kUsage, args); status >= 0)
        return status;
    LoadedProject project;
    if (!project.loadReporting(args[0], stderr))
        return kExitFailure;
    Vorn::ErrorMessageCollector errors;
    if (!project.file().saveToFile(Vorn::VString(args[1]), &errors)) {
        for (const Vorn::VString& line : errors.messages())
            std::fprintf(stderr, "corvane: %s: %s\n", args[1], line.c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace Cli
