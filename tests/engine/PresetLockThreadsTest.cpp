#include "engine/ActionTypes.h"
#include "engine/TPresetHandler.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransAction.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

using FakeActions::Recorder;
using Tr::TTransList;

constexpr int kReaders = 4;
constexpr int kKeys = 8;

// Counts the events and actions the immediate pool refused.
class OverflowCount final : public Vorn::ErrorMessageCallback {
public:
    OverflowCount() { Vorn::addErrorCallback(this); }
    ~OverflowCount() override { Vorn::removeErrorCallback(this); }
    void message(int, const Vorn::VString& text) override {
        if (text == "engine queue overflow")
            count.fetch_add(1);
    }
    std::atomic<int> count{0};
};

// Counts the preset changes the dispatcher carried out: the only work that reports the "out"
// bit of other types.
class PresetChangeCount final : public Tr::TShowEventsListener {
public:
    void addActivity(uint32_t flags) override {
        if (flags & Tr::kActivityOtherOut)
            count.fetch_add(1);
    }
    std::atomic<int> count{0};
};

class WriteLock {
public:
    explicit WriteLock(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockWrite(); }
    ~WriteLock() { lock_.unlockWrite(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    Vorn::VRWLock& lock_;
};

// A threaded engine (dispatcher thread running) whose translators match MIDI events by key.
// Some outgoing actions have level 3 and run on the dispatcher thread; a few of those switch to
// the next preset, so activations change there too while edits and events go on.
class PresetLockThreadsTest : public ::testing::Test {
protected:
    PresetLockThreadsTest() {
        FakeActions::registerFakes();
        Recorder::instance().clear();
        Recorder::instance().setKeep(false);
        Recorder::instance().setEngine(nullptr);
    }
    ~PresetLockThreadsTest() override { Recorder::instance().setKeep(true); }

    Tr::TPresetHandler& handler() { return engine.presetHandler(); }

    // Editor's thread, under the exclusive lock.
    Vorn::VString outgoingText(int key) {
        const unsigned choice = random() % 16;
        if (choice == 0)
            return "Pres000000"; // next preset
        return FakeActions::outgoing(key, choice < 5 ? Tr::kLevelDispatcherOnly : Tr::kLevelInput);
    }
    void addTranslator(TTransList* preset, int index) {
        const int key = static_cast<int>(random() % kKeys);
        Tr::TTransMsgPtr translator = Tr::makeTranslator();
        translator->build("t", FakeActions::incoming(Tr::kTypeMidi, key), outgoingText(key), "",
                          nullptr);
        preset->insertTranslator(index, std::move(translator));
    }
    TTransList* addPreset(int index, int translators) {
        TTransList* preset = handler().addPreset(index);
        for (int i = 0; i < translators; ++i)
            addTranslator(preset, i);
        return preset;
    }
    TTransList* anyPreset() {
        return handler().preset(static_cast<int>(random() % handler().presetCount()));
    }
    int anyIndex(int count) { return count > 0 ? static_cast<int>(random() % count) : 0; }

    // One edit, as the host's editing operations make them.
    void edit() {
        WriteLock hold(handler().presetLock());
        TTransList* preset = anyPreset();
        switch (random() % 9) {
        case 0:
            addTranslator(preset, anyIndex(preset->count() + 1));
            break;
        case 1:
            preset->deleteTranslator(anyIndex(preset->count()));
            break;
        case 2:
            if (Tr::TTransMsg* translator = preset->get(anyIndex(preset->count()))) {
                const int key = static_cast<int>(random() % kKeys);
                translator->setActions(FakeActions::incoming(Tr::kTypeMidi, key), outgoingText(key),
                                       nullptr);
            }
            break;
        case 3:
            preset->moveTranslator(anyIndex(preset->count()), anyIndex(preset->count()));
            break;
        case 4:
            addPreset(anyIndex(handler().presetCount() + 1), 5);
            break;
        case 5:
            if (handler().presetCount() > 1)
                handler().deletePreset(anyIndex(handler().presetCount()));
            break;
        case 6:
            // Fires the activation event, matched on this thread under its own lock.
            preset->setActive(!preset->isActive());
            break;
        case 7:
            handler().activateOnly(anyIndex(handler().presetCount()));
            break;
        default:
            // Everything active again, so that the readers keep matching.
            for (int i = 0; i < handler().presetCount(); ++i)
                handler().preset(i)->setActive(true);
            break;
        }
    }

    unsigned random() { return static_cast<unsigned>(generator()); }

    std::minstd_rand generator{20240611};
    Tr::TTransEngine engine;
};

TEST_F(PresetLockThreadsTest, EditsUnderTheExclusiveLockWhileFourThreadsProcessEvents) {
    OverflowCount overflows;
    PresetChangeCount presetChanges;
    engine.globals().setActivityListener(&presetChanges);
    for (int i = 0; i < 3; ++i)
        addPreset(i, 20);

    std::atomic<bool> done{false};
    std::atomic<int> started{0};
    std::vector<int64_t> processed(kReaders, 0);
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            Tr::TTransEvent event;
            int64_t count = 0;
            while (!done.load()) {
                event.clear();
                event.type = Tr::kTypeMidi;
                event.level = Tr::kLevelInput;
                event.key = (count + r) % kKeys;
                uint32_t flags = 0;
                engine.processEvent(event, flags);
                if (++count == 50)
                    started.fetch_add(1);
                // Input threads wait for their next message between events. Without pauses
                // the readers' sections overlap for ever, and the writer, behind whom new
                // readers are still admitted, would never find the lock free.
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            processed[static_cast<size_t>(r)] = count;
        });
    }
    while (started.load() < kReaders)
        std::this_thread::yield();
    for (int i = 0; i < 3000; ++i)
        edit();
    done.store(true);
    for (std::thread& reader : readers)
        reader.join();

    const Tr::TTransStats& stats = engine.globals().stats();
    int64_t total = 0;
    for (const int64_t count : processed)
        total += count;
    EXPECT_EQ(stats.eventsOfType(Tr::kTypeMidi), total);
    // Every translator has an outgoing action: each match ran it inline or queued it.
    EXPECT_EQ(stats.matched(), stats.outgoing());
    EXPECT_GT(stats.matched(), 0);

    // Queued work keeps running (translators deleted meanwhile included) until every outgoing
    // action has run or was refused by the full pool.
    auto accounted = [&] {
        return Recorder::instance().count() + presetChanges.count.load() + overflows.count.load();
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (accounted() < stats.outgoing() && std::chrono::steady_clock::now() < deadline)
        Vorn::sleepMillis(1);
    EXPECT_EQ(accounted(), stats.outgoing());
    EXPECT_GT(presetChanges.count.load(), 0);

    // The per-type counts stayed exact through every edit.
    WriteLock hold(handler().presetLock());
    for (int i = 0; i < handler().presetCount(); ++i) {
        const TTransList* preset = handler().preset(i);
        for (const int type : {Tr::kTypeMidi, Tr::kTypePresetChange}) {
            int incoming = 0, outgoing = 0;
            for (int j = 0; j < preset->count(); ++j) {
                incoming += preset->get(j)->incoming()->getType() == type ? 1 : 0;
                outgoing += preset->get(j)->outgoing()->getType() == type ? 1 : 0;
            }
            EXPECT_EQ(preset->incomingCount(type), incoming) << "preset " << i << " type " << type;
            EXPECT_EQ(preset->outgoingCount(type), outgoing) << "preset " << i << " type " << type;
        }
    }
    engine.globals().setActivityListener(nullptr);
}

} // namespace
