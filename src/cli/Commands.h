#pragma once

namespace Cli {

// Exit statuses of every command.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Each takes the arguments after the command's name.
int runCheck(int argc, char** argv);
int runExport(int argc, char** argv);
int runConvert(int argc, char** argv);

// The command's arguments without options: --help prints usage and gives kExitSuccess, any
// other option or a wrong count prints a hint and gives kExitUsage; -1 when args are ready.
int parseArguments(int argc, char** argv, int wanted, const char* usage, char** args);

} // namespace Cli
