#include "host/TLogFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace Tr {
namespace {

// "YYYY-MM-DD hh:mm:ss: " + text + a line feed, with digits where the pattern has them.
bool isStampedLine(const std::string& line, const std::string& text) {
    const std::string pattern = "0000-00-00 00:00:00: ";
    if (line != line.substr(0, pattern.size()) + text + "\n" ||
        line.size() != pattern.size() + text.size() + 1)
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == '0' ? !digit : line[i] != pattern[i])
            return false;
    }
    return true;
}

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class TLogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("corvane-logfile-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

TEST_F(TLogFileTest, DefaultPathFollowsTheStateHome) {
    struct Case {
        std::optional<std::string> stateHome;
        std::optional<std::string> home;
        std::string expected;
    };
    const Case cases[] = {
        {"/state", "/home/u", "/state/corvane/corvane.log"},
        {std::nullopt, "/home/u", "/home/u/.local/state/corvane/corvane.log"},
        {"", "/home/u", "/home/u/.local/state/corvane/corvane.log"},
        {"relative/dir", "/home/u", "/home/u/.local/state/corvane/corvane.log"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.expected);
        ScopedEnv state("XDG_STATE_HOME", row.stateHome);
        ScopedEnv home("HOME", row.home);
        EXPECT_EQ(TLogFile::defaultPath("corvane"), row.expected);
    }
}

TEST_F(TLogFileTest, BackupNameHasOneBeforeTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/corvane.log", "/a/corvane1.log"},
        {"/a.b/corvane", "/a.b/corvane1"},
        {"corvane.x.log", "corvane.x1.log"},
    };
    for (const auto& [path, backup] : cases)
        EXPECT_EQ(TLogFile::backupPath(path), backup);
}

TEST_F(TLogFileTest, CreatesAPrivateFileWithStampedLines) {
    std::string path = (folder_ / "state" / "corvane" / "corvane.log").string();
    mode_t oldMask = ::umask(0); // the mode must not depend on a permissive umask
    ASSERT_TRUE(TLogFile::createFolder(path));
    TLogFile log(path);
    EXPECT_TRUE(log.append("first line"));
    EXPECT_TRUE(log.append("second"));
    ::umask(oldMask);

    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((folder_ / "state" / "corvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const std::string text = readFile(path);
    const size_t firstEnd = text.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << text;
    EXPECT_TRUE(isStampedLine(text.substr(0, firstEnd + 1), "first line")) << text;
    EXPECT_TRUE(isStampedLine(text.substr(firstEnd + 1), "second")) << text;
}

TEST_F(TLogFileTest, NeverWritesThroughASymbolicLink) {
    fs::path victim = folder_ / "victim";
    std::ofstream(victim) << "keep";
    fs::path path = folder_ / "corvane.log";
    fs::create_symlink(victim, path);
    TLogFile log(path.string());
    EXPECT_FALSE(log.append("line"));
    EXPECT_EQ(readFile(victim), "keep");

    fs::path dangling = folder_ / "other.log";
    fs::create_symlink(folder_ / "missing", dangling);
    TLogFile other(dangling.string());
    EXPECT_FALSE(other.append("line"));
    EXPECT_FALSE(fs::exists(folder_ / "missing"));

    fs::create_directory(folder_ / "dir.log"); // not a regular file either
    TLogFile directory((folder_ / "dir.log").string());
    EXPECT_FALSE(directory.append("line"));
}

TEST_F(TLogFileTest, RotatesPastTheLimitAndReplacesTheOldBackup) {
    fs::path path = folder_ / "corvane.log";
    fs::path backup = folder_ / "corvane1.log";
    std::ofstream(backup) << "old backup";
    TLogFile log(path.string());
    std::string text(999, 'x'); // 1021-byte lines
    int lines = 0;
    while (fs::exists(path) ? fs::file_size(path) <= TLogFile::kRotateBytes : true) {
        ASSERT_TRUE(log.append(text));
        ++lines;
    }
    EXPECT_EQ(lines, static_cast<int>(TLogFile::kRotateBytes / 1021) + 1);
    EXPECT_EQ(readFile(backup), "old backup"); // at the limit the file is not yet rotated
    uintmax_t fullSize = fs::file_size(path);
    ASSERT_TRUE(log.append("after"));
    EXPECT_EQ(fs::file_size(backup), fullSize);
    std::string fresh = readFile(path);
    EXPECT_EQ(fresh.size(), 21u + 5 + 1);
    EXPECT_EQ(fresh.substr(21), "after\n");
}

TEST_F(TLogFileTest, AFileRemovedWhileOpenStartsAgain) {
    fs::path path = folder_ / "corvane.log";
    TLogFile log(path.string());
    ASSERT_TRUE(log.append("one"));
    fs::remove(path);
    ASSERT_TRUE(log.append("two"));
    EXPECT_EQ(readFile(path).substr(21), "two\n");
}

TEST_F(TLogFileTest, LinesOfFourThreadsStayWhole) {
    fs::path path = folder_ / "corvane.log";
    TLogFile log(path.string());
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
        threads.emplace_back([&, thread] {
            for (int line = 0; line < 200; ++line)
                log.append(std::string(100 + line % 50, static_cast<char>('A' + thread)));
        });
    for (std::thread& thread : threads)
        thread.join();
    std::istringstream in(readFile(path));
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        std::string text = line.substr(21);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos) << count;
    }
    EXPECT_EQ(count, 800);
}

} // namespace
} // namespace Tr
