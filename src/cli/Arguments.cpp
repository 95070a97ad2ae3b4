#include "cli/Commands.h"

#include <cstdio>
#include <strings.h>

namespace Cli {

int parseArguments(int argc, char** argv, int wanted, const char* usage, char** args) {
    int count = 0;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] != '\0') {
            const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
            if (strcasecmp(name, "help") == 0) {
                std::fputs(usage, stdout);
                return kExitSuccess;
            }
            std::fprintf(stderr, "corvane: unknown option '%s'\n%s", arg, usage);
            return kExitUsage;
        }
        if (count < wanted)
            args[count] = argv[i];
        ++count;
    }
    if (count != wanted) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return -1;
}

} // namespace Cli
