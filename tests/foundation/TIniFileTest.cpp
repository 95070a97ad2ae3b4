#include "foundation/ErrorMessageCollector.h"
#include "foundation/ErrorMessages.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "platform/fake/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Tr::TIniFile;
using Vorn::VString;

// Collects the error texts reported while it lives, and keeps diagnostic lines off stderr.
class ReportedErrors {
public:
    ReportedErrors() {
        Vorn::setLineOutput([](std::string_view) {});
        Vorn::addErrorCallback(&collector_);
    }
    ~ReportedErrors() {
        Vorn::removeErrorCallback(&collector_);
        Vorn::setLineOutput({});
    }
    std::string text() const {
        std::string all;
        for (const VString& line : collector_.messages())
            all += std::string(line.view()) + "\n";
        return all;
    }

private:
    Vorn::ErrorMessageCollector collector_;
};

std::string loadAndWrite(const std::string& fileText, bool* loaded = nullptr) {
    Platform::FakeFileSystem files;
    files.setFile("/p/a.crvp", fileText);
    TIniFile ini("/p/a.crvp", files);
    bool ok = ini.load();
    if (loaded)
        *loaded = ok;
    return ini.toText();
}

TEST(TIniFile, LoadParsesHeadersAndWritesWithLineFeeds) {
    struct Case {
        const char* name;
        std::string input;
        std::string written;
    };
    const Case cases[] = {
        {"crlf input, lf output", "[Se]\r\nk=v\r\n", "[Se]\nk=v\n\n"},
        {"cr input", "[Se]\rk=v\r", "[Se]\nk=v\n\n"},
        {"lines before the first header are lost", "x=1\n[Se]\nk=v\n", "[Se]\nk=v\n\n"},
        {"[a] is an ordinary line", "[ab]\n[a]\n", "[ab]\n[a]\n\n"},
        {"leading space makes an ordinary line", "[ab]\n [cd]\n", "[ab]\n [cd]\n\n"},
        {"a one-byte name is no header", "[ab]\n[a]\nk=v\n", "[ab]\n[a]\nk=v\n\n"},
        {"repeated header continues the section", "[Se]\na=1\n[Tw]\nb=2\n[Se]\nc=3\n",
         "[Se]\na=1\nc=3\n\n[Tw]\nb=2\n\n"},
        {"sections in byte order", "[Preset.2]\na=1\n[Preset.10]\nb=2\n",
         "[Preset.10]\nb=2\n\n[Preset.2]\na=1\n\n"},
        {"empty sections vanish, comments survive", "[Em]\n\n\n[Se]\n;note\n\nk=v\n",
         "[Se]\n;note\nk=v\n\n"},
        {"utf-8 byte-order mark skipped", "\xEF\xBB\xBF[Se]\nk=v\n", "[Se]\nk=v\n\n"},
        {"binary bytes stay in their line", std::string("[Se]\nk=\x01\x02\xFF\n", 11),
         std::string("[Se]\nk=\x01\x02\xFF\n\n", 12)},
        {"a zero byte ends only its own line", std::string("[Se]\na=1\0junk\nb=2\n", 18),
         "[Se]\na=1\nb=2\n\n"},
    };
    for (const Case& c : cases) {
        bool loaded = false;
        EXPECT_EQ(loadAndWrite(c.input, &loaded), c.written) << c.name;
        EXPECT_TRUE(loaded) << c.name;
    }
}

TEST(TIniFile, RefusesXmlAndJsonWhateverComesFirst) {
    struct Case {
        std::string input;
        bool xml;
        bool json;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\"?>\n<a/>", true, false},
        {"\n\r\n<?XmL version=\"1.0\"?>", true, false},
        {"\n{\"presets\": []}", false, true},
        {"{", false, true},
    };
    for (const Case& c : cases) {
        Platform::FakeFileSystem files;
        files.setFile("/a.crvp", c.input);
        TIniFile ini("/a.crvp", files);
        ini.setValue("Old", "k", "v");
        EXPECT_FALSE(ini.load()) << c.input;
        EXPECT_EQ(ini.isXml(), c.xml) << c.input;
        EXPECT_EQ(ini.isJson(), c.json) << c.input;
        EXPECT_FALSE(ini.hasSection("Old"));
    }
}

TEST(TIniFile, MissingFileLoadsNothing) {
    Platform::FakeFileSystem files;
    TIniFile ini("/nowhere.crvp", files);
    ini.setValue("Se", "k", "v");
    EXPECT_FALSE(ini.load());
    EXPECT_FALSE(ini.hasSection("Se"));
    EXPECT_FALSE(ini.isXml());
    EXPECT_FALSE(ini.isJson());
}

TEST(TIniFile, KeysFollowTheLines) {
    TIniFile ini;
    ini.section("Se").lines().add("k=1");
    ini.section("Se").lines().add("x=5");
    ini.setValue("Se", "k", "2");
    EXPECT_EQ(ini.toText(), "[Se]\nx=5\nk=2\n\n");

    TIniFile twice;
    twice.section("Se").lines().add("k=1");
    twice.section("Se").lines().add("k=2");
    EXPECT_EQ(twice.getValue("Se", "k"), "2");
    EXPECT_TRUE(twice.removeKey("Se", "k"));
    EXPECT_EQ(twice.toText(), "[Se]\nk=2\n\n");
    EXPECT_FALSE(twice.removeKey("Se", "absent"));
    EXPECT_FALSE(twice.removeKey("Absent", "k"));

    EXPECT_EQ(ini.getValue("Absent", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.getValue("Se", "K", "dflt"), "dflt"); // keys are case-sensitive
    bool found = true;
    EXPECT_EQ(ini.getSection("Absent", &found).lines().count(), 0);
    EXPECT_FALSE(found);
}

TEST(TIniFile, TypedValues) {
    TIniFile ini;
    struct BoolCase {
        const char* value;
        bool expected;
    };
    const BoolCase bools[] = {{"yes", true}, {"True", true}, {"1", true},  {"no", false},
                              {"0", false},  {"false", false}, {"", true}};
    for (const BoolCase& c : bools) {
        ini.setValue("Se", "b", c.value);
        EXPECT_EQ(ini.getBool("Se", "b", true), c.expected) << c.value;
    }
    EXPECT_FALSE(ini.getBool("Se", "missing", false));
    ini.setBool("Se", "b", false);
    EXPECT_EQ(ini.getValue("Se", "b"), "0");

    ini.setInt("Se", "i", -42);
    EXPECT_EQ(ini.getValue("Se", "i"), "-42");
    EXPECT_EQ(ini.getInt("Se", "i", 7), -42);
    ini.setValue("Se", "i", "12abc");
    EXPECT_EQ(ini.getInt("Se", "i", 7), 7);
    EXPECT_EQ(ini.getInt("Se", "missing", 7), 7);
}

TEST(TIniFile, ToLinesTakesSectionsByPrefix) {
    TIniFile ini;
    ini.setValue("Preset.1", "a", "1");
    ini.section("Preset.1").lines().add("");
    ini.setValue("preset.2", "b", "2");
    ini.setValue("Project", "c", "3");
    Vorn::VStringList lines;
    ini.toLines(lines, "PRESET.");
    EXPECT_EQ(lines.getText("|"), "[Preset.1]|a=1||[preset.2]|b=2");
    Vorn::VStringList all;
    ini.toLines(all, "");
    EXPECT_EQ(all.count(), 7);
}

TEST(TIniFile, LengthPrefixedItems) {
    VString text;
    TIniFile::appendItem(text, "abc");
    TIniFile::appendItem(text, "");
    EXPECT_EQ(text, "0003abc0000");

    VString item;
    EXPECT_EQ(TIniFile::readItem("0003abcrest", 0, item), 7);
    EXPECT_EQ(item, "abc");
    EXPECT_EQ(TIniFile::readItem(" 003abc", 0, item), 7) << "leading blanks in the header";
    EXPECT_EQ(TIniFile::readItem("00zzabc", 0, item), 4) << "a bad header means length 0";
    EXPECT_EQ(item, "");
    for (const char* bad : {"0009abc", "000", "", "FFFFab"}) {
        try {
            TIniFile::readItem(bad, 0, item);
            ADD_FAILURE() << bad;
        } catch (const Vorn::VException& e) {
            EXPECT_EQ(e.message(), "illegal ini format") << bad;
        }
    }
    EXPECT_THROW(TIniFile::readItem("0001a", -1, item), Vorn::VException);

    VString longItem;
    TIniFile::appendItem(longItem, VString(std::string(70000, 'x')));
    EXPECT_EQ(longItem.length(), 4 + 65535);
    EXPECT_EQ(longItem.substring(0, 4), "FFFF");
}

TEST(TIniFile, SaveFailuresKeepTheOldFileAndLeaveNoTemporary) {
    struct Case {
        const char* name;
        Platform::FakeFileSystem::Failures failures;
        const char* message;
        bool saved;
    };
    const Case cases[] = {
        {"no temporary file can be created", {.createNew = 5}, "", false},
        {"four creation failures are retried", {.createNew = 4}, "", true},
        {"write fails", {.write = true}, "ERROR: inifile: cannot write to temp file: /d/", false},
        {"close fails", {.close = true}, "ERROR: inifile: cannot close temp file: /d/", false},
        {"rename fails", {.replace = 5},
         "ERROR: inifile: could not rename temp file to: /d/p.crvp\n", false},
        {"rename retried", {.replace = 4}, "", true},
    };
    for (const Case& c : cases) {
        Platform::FakeFileSystem files;
        files.createDirectories("/d");
        files.setFile("/d/p.crvp", "[Old]\nk=v\n\n");
        TIniFile ini("/d/p.crvp", files);
        ini.setValue("New", "k", "v");
        files.failures() = c.failures;
        ReportedErrors errors;
        EXPECT_EQ(ini.save(), c.saved) << c.name;
        EXPECT_EQ(errors.text().substr(0, std::string(c.message).size()), c.message) << c.name;
        EXPECT_EQ(files.file("/d/p.crvp"), c.saved ? "[New]\nk=v\n\n" : "[Old]\nk=v\n\n")
            << c.name;
        EXPECT_EQ(files.fileNames(), std::set<std::string>{"/d/p.crvp"}) << c.name;
    }
}

class TIniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("corvane-ini-" + std::string(VString::randomString(8, true).c_str()));
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path dir_;
};

TEST_F(TIniFileOnDisk, SaveCreatesDirectoriesReplacesTheFileAndLoadsBack) {
    std::filesystem::path target = dir_ / "nested" / "deeper" / "p.crvp";
    TIniFile ini(target.c_str());
    ini.setValue("Se", "k", "v");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(read(target), "[Se]\nk=v\n\n");

    ini.setValue("Se", "k", "w");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(read(target), "[Se]\nk=w\n\n");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1) << "no temporary file is left behind";

    TIniFile back(target.c_str());
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.getValue("Se", "k"), "w");
}

} // namespace
