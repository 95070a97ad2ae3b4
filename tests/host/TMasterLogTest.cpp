#include "host/TMasterLog.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

namespace Tr {
namespace {

namespace fs = std::filesystem;

std::string readAll(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

TEST(TMasterLogTest, ConsoleAndFileByLevelAndFlags) {
    struct Case {
        int level;
        bool debug;
        bool verbose;
        bool console;
        bool file;
    };
    const Case cases[] = {
        {0, false, false, false, false}, {0, true, false, true, true},
        {1, false, false, false, true},  {1, false, true, true, true},
        {2, false, false, true, true},   {3, false, false, true, true},
        {3, true, false, true, true},
    };
    fs::path path = fs::temp_directory_path() / ("corvane-masterlog-" + std::to_string(::getpid()));
    for (const Case& row : cases) {
        SCOPED_TRACE(row.level * 4 + row.debug * 2 + row.verbose);
        fs::remove(path);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), &std::fclose);
        TMasterLog log(console.get());
        log.setDebugOutput(row.debug);
        log.setVerbose(row.verbose);
        log.setLogFile(std::make_unique<TLogFile>(path.string()));
        log.log("some text", row.level);
        EXPECT_EQ(readAll(console.get()), row.console ? "some text\n" : "");
        EXPECT_EQ(fs::exists(path), row.file);
    }
    fs::remove(path);
}

TEST(TMasterLogTest, TimeStampedConsoleLines) {
    Platform::ManualClock clock(4321);
    Vorn::useClock(&clock);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), &std::fclose);
    TMasterLog log(console.get());
    log.setTimeStamps(true);
    log.log("stamped", TMasterLog::kError);
    Vorn::useClock(nullptr);
    EXPECT_EQ(readAll(console.get()), "4321: stamped\n");
}

} // namespace
} // namespace Tr
