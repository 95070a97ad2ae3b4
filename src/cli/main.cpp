#include "cli/Commands.h"
#include "host/LibraryInfo.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "Usage: corvane [--help] [--version] COMMAND [ARGS...]\n"
    "\n"
    "Corvane translates incoming MIDI, keystrokes, timer ticks and serial data into\n"
    "outgoing actions, as a project's presets and translators say.\n"
    "\n"
    "Commands (each takes --help):\n"
    "  check PROJECT         load the project and print every loading message\n"
    "  export PROJECT        print the readable text of the project\n"
    "  convert PROJECT OUT   load the project and save it to OUT\n"
    "\n"
    "Options:\n"
    "  --help      show this text and exit\n"
    "  --version   print the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("corvane %s\n", Vorn::libraryVersion());
        return 0;
    }
    if (argc == 1 || (argc == 2 && std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    const struct {
        const char* name;
        int (*run)(int argc, char** argv);
    } commands[] = {
        {"check", &Cli::runCheck},
        {"export", &Cli::runExport},
        {"convert", &Cli::runConvert},
    };
    for (const auto& command : commands)
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(argc - 2, argv + 2);
    std::fprintf(stderr, "corvane: unknown command '%s'; see 'corvane --help'\n", argv[1]);
    return Cli::kExitUsage;
}
