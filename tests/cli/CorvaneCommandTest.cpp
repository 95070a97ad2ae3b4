// Runs the corvane program on the bundled fixtures and checks what it prints and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

const std::filesystem::path kFixtures = CORVANE_FIXTURES;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The program with these arguments (a shell command line of quoted words).
Result run(const std::string& args) {
    const std::filesystem::path err =
        std::filesystem::temp_directory_path() / ("corvane-cli-" + std::to_string(::getpid()));
    const std::string command =
        std::string("'") + CORVANE_PROGRAM + "' " + args + " 2>'" + err.string() + "' </dev/null";
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(err);
    std::filesystem::remove(err);
    return result;
}

std::string fixture(const char* name) {
    return "'" + (kFixtures / name).string() + "'";
}

TEST(CorvaneCommand, CheckReportsTheCorruptTranslatorAndLoadsTheRest) {
    const Result corrupt = run("check " + fixture("corrupt.crvp"));
    EXPECT_EQ(corrupt.status, 1);
    EXPECT_EQ(corrupt.out, "WARNING: Error while loading preset 'Main', Translator '# 1: beat':\r\n"
                           "    Corrupt timer configuration.\n");
    EXPECT_NE(corrupt.err.find("2 presets, 2 translators"), std::string::npos);

    const Result good = run("check " + fixture("good.crvp"));
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "");
}

TEST(CorvaneCommand, ExportPrintsTheProjectText) {
    const Result result = run("export " + fixture("good.crvp"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, readFile(kFixtures / "good.export.txt"));
}

TEST(CorvaneCommand, ConvertWritesTheProjectAgainAndKeepsWhatItCannotReplace) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvane-convert-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "taken.crvp");
    const std::filesystem::path out = dir / "out.crvp";
    EXPECT_EQ(run("convert " + fixture("good.crvp") + " '" + out.string() + "'").status, 0);
    const std::filesystem::path again = dir / "again.crvp";
    EXPECT_EQ(run("convert '" + out.string() + "' '" + again.string() + "'").status, 0);
    EXPECT_EQ(readFile(again), readFile(out));
    EXPECT_NE(readFile(out).find("Outgoing1=Tim0TimS0004Beat4:0:250"), std::string::npos);

    const Result refused =
        run("convert " + fixture("good.crvp") + " '" + (dir / "taken.crvp").string() + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Error saving project to file."), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.crvp"));
    std::filesystem::remove_all(dir);
}

TEST(CorvaneCommand, BadProjectFilesFailWithAClearMessage) {
    const std::string noVersion = "This project file is not compatible with this version of "
                                  "Corvane. \nPlease try to get an updated project file.\n";
    const std::string incompatible = "This project file is incompatible with this version of "
                                     "Corvane.\nPlease update Corvane in order use this project "
                                     "file.\n";
    const struct {
        std::string path;
        std::string message; // after "corvane: "
    } cases[] = {
        {"/nonexistent/p.crvp", "Error reading file: /nonexistent/p.crvp\n"},
        {kFixtures.string(), "Error reading file: " + kFixtures.string() + "\n"},
        {(kFixtures / "empty.crvp").string(), noVersion},
        {(kFixtures / "binary.crvp").string(), noVersion},
        {(kFixtures / "noversion.crvp").string(), noVersion},
        {(kFixtures / "truncated.crvp").string(), noVersion},
        {(kFixtures / "project.xml.crvp").string(), incompatible},
        {(kFixtures / "project.json.crvp").string(), incompatible},
    };
    for (const auto& c : cases) {
        for (const char* command : {"check", "export"}) {
            SCOPED_TRACE(std::string(command) + " " + c.path);
            const Result result = run(std::string(command) + " '" + c.path + "'");
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "corvane: " + c.message);
        }
    }
}

TEST(CorvaneCommand, UsageAndHelp) {
    const struct {
        const char* args;
        int status;
        bool helpOnStdout;
    } cases[] = {
        {"--help", 0, true},         {"check --help", 0, true},    {"export -HELP", 0, true},
        {"convert --help", 0, true}, {"check", 2, false},          {"export a b", 2, false},
        {"convert a", 2, false},     {"check --frob a", 2, false}, {"frob", 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result result = run(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out.find("Usage: corvane") == 0, c.helpOnStdout);
    }
}

} // namespace
