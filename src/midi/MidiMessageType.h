#pragma once

namespace Tr {

// The type of a simple MIDI message. Types 19-28 span several MIDI messages.
enum MidiMessageType {
    kMidiInvalid = 0,
    kMidiNoteOff = 1,
    kMidiNoteOn = 2,
    kMidiPolyphonicKeyPressure = 3,
    kMidiControlChange = 4,
    kMidiProgramChange = 5,
    kMidiChannelPressure = 6,
    kMidiPitchBend = 7,
    kMidiSystemExclusive = 8,
    kMidiMTCQuarterFrame = 9,
    kMidiSongPosition = 10,
    kMidiSongSelect = 11,
    kMidiTuneRequest = 12,
    kMidiTimingClock = 13,
    kMidiStart = 14,
    kMidiContinue = 15,
    kMidiStop = 16,
    kMidiActiveSensing = 17,
    kMidiReset = 18,
    kMidiControlChange14 = 19,
    kMidiBankChange = 20,
    kMidiNRPN7 = 21,
    kMidiNRPN14 = 22,
    kMidiNRPNDataInc = 23,
    kMidiNRPNDataDec = 24,
    kMidiRPN7 = 25,
    kMidiRPN14 = 26,
    kMidiRPNDataInc = 27,
    kMidiRPNDataDec = 28,
};

inline constexpr int kMidiMessageTypeCount = 29; // 0 included

// What a type has and how it is named. Every function accepts any int; invalid types (0 and
// outside 1-28) have no fields and empty names.
struct MidiMessageTypeInfo {
    // The stored key ("NoteOn"), the display name ("Note On").
    static const char* key(int type);
    static const char* displayName(int type);
    // The names of value 1 and value 2 in descriptions ("note", "velocity"); empty without.
    static const char* value1Name(int type);
    static const char* value2Name(int type);
    // The type whose key equals key exactly (case-sensitive); 0 for none and for "".
    static int fromKey(const char* key);

    static bool isValid(int type) { return type > 0 && type < kMidiMessageTypeCount; }
    static bool hasChannel(int type);
    static bool hasValue1(int type);
    static bool hasValue2(int type);
    // NRPN and RPN types 21-28, which carry a parameter number.
    static bool hasParameter(int type) { return type >= kMidiNRPN7 && type <= kMidiRPNDataDec; }
    // The status byte of the one-byte system messages 12-18; 0 for other types.
    static int systemStatus(int type);
};

} // namespace Tr
