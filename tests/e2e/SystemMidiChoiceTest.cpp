// Choosing the system MIDI backend, and the port listing a command prints.

#include "platform/linux/SystemMidiChoice.h"
#include "platform/linux/AlsaSequencerMidiSystem.h"

#include <gtest/gtest.h>

namespace {

using Platform::SystemMidiChoice;

TEST(SystemMidiChoiceTest, ParsesOnlyTheThreeNames) {
    const struct {
        const char* text;
        bool ok;
        SystemMidiChoice choice;
    } rows[] = {
        {"auto", true, SystemMidiChoice::kAuto}, {"jack", true, SystemMidiChoice::kJack},
        {"alsa", true, SystemMidiChoice::kAlsa}, {"JACK", false, SystemMidiChoice::kAuto},
        {"", false, SystemMidiChoice::kAuto},    {"jack ", false, SystemMidiChoice::kAuto},
    };
    for (const auto& row : rows) {
        SystemMidiChoice choice = SystemMidiChoice::kAuto;
        EXPECT_EQ(Platform::parseSystemMidiChoice(row.text, choice), row.ok) << row.text;
        EXPECT_EQ(choice, row.choice) << row.text;
    }
}

TEST(SystemMidiChoiceTest, WithoutASequencerAlsaGivesNoSystemAndSaysWhy) {
    if (Platform::AlsaSequencerMidiSystem::sequencerAnswers())
        GTEST_SKIP() << "skipped: the ALSA sequencer is present here";
    std::string line;
    EXPECT_EQ(Platform::createSystemMidi(SystemMidiChoice::kAlsa, "Chooser", line), nullptr);
    EXPECT_EQ(line, "No system MIDI ports: the ALSA sequencer does not answer.");
}

} // namespace
