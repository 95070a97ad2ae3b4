#include "host/LibraryInfo.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "Usage: corvane [--help] [--version]\n"
    "\n"
    "Corvane translates incoming MIDI, keystrokes, timer ticks and serial data into\n"
    "outgoing actions, as a project's presets and translators say.\n"
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
    std::fprintf(stderr, "corvane: unknown arguments; see 'corvane --help'\n");
    return 2;
}
