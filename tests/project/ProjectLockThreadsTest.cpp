// Saving and exporting read the presets under the preset lock held shared: an edit that holds
// it exclusively keeps them waiting until it is done.
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "foundation/TIniFile.h"
#include "foundation/VStringList.h"
#include "platform/fake/FakeFileSystem.h"
#include "project/TProjectFile.h"
#include "project/TTextExport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

class ProjectLockTest : public ::testing::Test {
protected:
    ProjectLockTest() {
        Tr::registerEngineActions();
        handler.addPreset(0)->setName("Main");
    }

    // Runs read on another thread while this one holds the preset lock exclusively and renames
    // the preset; read must see the edit complete.
    void expectWaitsForTheEdit(const std::function<void()>& read) {
        handler.presetLock().lockWrite();
        std::atomic<bool> done{false};
        std::thread reader([&] {
            read();
            done = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(done.load());
        handler.preset(0)->setName("Edited");
        handler.presetLock().unlockWrite();
        reader.join();
        EXPECT_TRUE(done.load());
    }

    Platform::FakeFileSystem files;
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler handler{&globals};
    Tr::TProjectFile project{handler, nullptr, files};
};

TEST_F(ProjectLockTest, SavingWaitsForAnEditInProgress) {
    std::string text;
    expectWaitsForTheEdit([&] {
        Tr::TIniFile ini;
        project.saveToIni(ini);
        text = ini.toText();
    });
    EXPECT_NE(text.find("Name=Edited"), std::string::npos);
}

TEST_F(ProjectLockTest, ExportingWaitsForAnEditInProgress) {
    Vorn::VStringList lines;
    expectWaitsForTheEdit([&] { Tr::projectToText(project, handler, lines); });
    EXPECT_EQ(lines.get(2), Vorn::VString("[x] Preset 0: Edited"));
}

} // namespace
