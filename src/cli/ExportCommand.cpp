#include "cli/Commands.h"
#include "cli/LoadedProject.h"
#include "project/TTextExport.h"

#include <cstdio>

namespace Cli {

namespace {

const char* const kUsage = "Usage: corvane export PROJECT\n"
                           "\n"
                           "Prints the readable text of the project: its properties, presets and\n"
                           "translators. Loading messages go to standard error.\n";

} // namespace

int runExport(int argc, char** argv) {
    char* args[1];
    if (const int status = parseArguments(argc, argv, 1, kUsage, args); status >= 0)
        return status;
    LoadedProject project;
    if (!project.loadReporting(args[0], stderr))
        return kExitFailure;
    Vorn::VStringList lines;
    Tr::projectToText(project.file(), project.presets(), lines);
    for (const Vorn::VString& line : lines)
        std::printf("%s\n", line.c_str());
    return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

} // namespace Cli
