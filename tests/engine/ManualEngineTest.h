#pragma once

#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Every flag word the engine reports, in order.
class ActivityRecorder : public Tr::TShowEventsListener {
public:
    void addActivity(uint32_t value) override { flags.push_back(value); }
    uint32_t all() const {
        uint32_t result = 0;
        for (uint32_t value : flags)
            result |= value;
        return result;
    }
    std::vector<uint32_t> flags;
};

// A manually driven engine on a virtual clock, with the fake action kinds registered: nothing
// runs on another thread.
class ManualEngineTest : public ::testing::Test {
protected:
    ManualEngineTest() {
        FakeActions::registerFakes();
        Vorn::useClock(&clock);
        engine = std::make_unique<Tr::TTransEngine>(Tr::TTransEngine::Options{true, 0, 0});
        FakeActions::Recorder::instance().clear();
        FakeActions::Recorder::instance().setEngine(engine.get());
        engine->globals().setActivityListener(&activity);
    }
    ~ManualEngineTest() override {
        FakeActions::Recorder::instance().setEngine(nullptr);
        engine.reset();
        Vorn::useClock(nullptr);
    }

    // A new preset at the end of the list.
    Tr::TTransList* preset(bool active = true) {
        Tr::TPresetHandler& handler = engine->presetHandler();
        Tr::TTransList* added = handler.addPreset(handler.presetCount());
        added->setActive(active);
        return added;
    }

    Platform::ManualClock clock;
    ActivityRecorder activity;
    std::unique_ptr<Tr::TTransEngine> engine;
};
