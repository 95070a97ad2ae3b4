#include "midi/MidiMessageText.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Vorn::VString;

TEST(MidiMessageTextTest, NoteAndControllerNames) {
    EXPECT_EQ(Tr::midiNoteName(60), VString("C4"));
    EXPECT_EQ(Tr::midiNoteName(0), VString("C-1"));
    EXPECT_EQ(Tr::midiNoteName(61), VString("C#4"));
    EXPECT_EQ(Tr::midiNoteName(127), VString("G9"));
    EXPECT_STREQ(Tr::midiControllerName(7), "Channel Volume");
    EXPECT_STREQ(Tr::midiControllerName(127), "Poly Mode On");
    EXPECT_STREQ(Tr::midiControllerName(3), "");
    EXPECT_STREQ(Tr::midiControllerName(128), "");
    EXPECT_STREQ(Tr::midiControllerName(-1), "");
}

TEST(MidiMessageTextTest, FriendlyDescriptions) {
    struct Case {
        const char* raw;
        const char* text;
    };
    const Case cases[] = {
        {"90 3C 7F", "Note On ch.1: C4 (#60), vel 127"},
        {"8F3C00", "Note Off ch.16: C4 (#60), vel 0"},
        {"90 pp qq", "Note On ch.1: Note pp, vel qq"},
        {"A1 40 22", "Aftertouch ch.2: E4 (#64), 34"},
        {"B0 07 pp", "CC ch.1: Channel Volume (#7), pp"},
        {"B0 03 10", "CC ch.1:  #3, 16"},
        {"B0 pp 10", "CC ch.1: Controller pp, 16"},
        {"C5 0A", "Program Change ch.6: 10"},
        {"D0 7F", "Channel Pressure ch.1: 127"},
        {"E0 7F 7F", "PitchWheel ch.1: +100.0%"},
        {"E0 00 40", "PitchWheel ch.1: 0.0%"},
        {"E0 00 00", "PitchWheel ch.1: -100.0%"},
        {"E0 pp 40", "PitchWheel ch.1: pp,64"},
        {"F0 43 pp F7", "Sys Ex: 43 pp"},
        {"F1 3A", "MTC Quarter Frame: 3,10"},
        {"F2 01 01", "Song Position Pointer: 129"},
        {"F2 pp 01", "Song Position Pointer: pp,1"},
        {"F3 05", "Song Select: 5"},
        {"F6", "Tune Request"},
        {"F8 FA FB FC FE FF",
         "Timing Clock - Song Start - Song Continue - Song Stop - Active Sensing - System Reset"},
        {"903C7F 803C00", "Note On ch.1: C4 (#60), vel 127 - Note Off ch.1: C4 (#60), vel 0"},
        {"B0 63 01 B0 62 02 B0 06 40", "NRPN: MSB=1 LSB=2, data: MSB:64"},
        {"B0 65 00 B0 64 00 B0 06 pp B0 26 qq", "RPN: MSB=0 LSB=0, data: MSB:pp LSB:qq"},
        // a parameter selection without data entry is described controller by controller
        {"B0 63 01 B0 62 02", "CC ch.1: NRPN MSB (#99), 1 - CC ch.1: NRPN LSB (#98), 2"},
        // what cannot be described ends the text as pairs
        {"90 3C", "90 3C"},
        {"90 3C 7F 80 3C", "Note On ch.1: C4 (#60), vel 127 - 80 3C"},
        {"90 3C 7F F5 01", "Note On ch.1: C4 (#60), vel 127 - F5 01"},
        {"3C 7F", "3C 7F"},
        {"90 4G 7F", "90 4G 7F"},
        {"904", "90 4"},
        {"", "MIDI "}, // the plain form of an empty text
    };
    for (const Case& c : cases)
        EXPECT_STREQ(Tr::friendlyMidiDescription(c.raw).c_str(), c.text) << c.raw;
}

TEST(MidiMessageTextTest, LogTextsOfBytes) {
    const std::vector<uint8_t> note = {0x90, 0x3C, 0x40};
    EXPECT_EQ(Tr::midiBytesText(note.data(), 3), VString("MIDI 90 3C 40"));
    const std::vector<uint8_t> sysex = {0xF0, 0x43, 0x10, 0xF7};
    EXPECT_EQ(Tr::midiBytesText(sysex.data(), 4), VString("MIDI 4 bytes F0 43 10 F7"));

    std::vector<uint8_t> twenty(20, 0x11);
    EXPECT_EQ(Tr::midiBytesText(twenty.data(), 20),
              VString("MIDI 20 bytes 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 "
                      "11"));
    std::vector<uint8_t> long_(21, 0x22);
    long_.back() = 0xF7;
    EXPECT_EQ(Tr::midiBytesText(long_.data(), 21),
              VString("MIDI 21 bytes 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 "
                      "... F7"));
    EXPECT_EQ(Tr::spacedPairs("904060"), VString("90 40 60"));
    EXPECT_EQ(Tr::spacedPairs("90406"), VString("90 40 6"));
}

} // namespace
