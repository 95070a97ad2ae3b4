#include "midi/MidiMessageType.h"

#include <cstring>

namespace Tr {

namespace {

struct TypeRow {
    const char* key;
    const char* displayName;
    bool channel;
    const char* value1;
    const char* value2;
    int systemStatus;
};

constexpr TypeRow kTypes[kMidiMessageTypeCount] = {
    {"", "", false, "", "", 0},
    {"NoteOff", "Note Off", true, "note", "velocity", 0},
    {"NoteOn", "Note On", true, "note", "velocity", 0},
    {"PolyphonicKeyPressure", "Polyphonic Key Pressure", true, "note", "pressure", 0},
    {"ControlChange", "Control Change", true, "CC#", "value", 0},
    {"ProgramChange", "Program Change", true, "program", "", 0},
    {"ChannelPressure", "Channel Pressure", true, "pressure", "", 0},
    {"PitchBend", "Pitch Bend", true, "bend", "", 0},
    {"SystemExclusive", "System Exclusive", false, "", "", 0},
    {"MTCQuarterFrame", "MTC Quarter Frame", false, "message type", "value", 0},
    {"SongPosition", "Song Position Pointer", false, "song position", "", 0},
    {"SongSelect", "Song Select", false, "song#", "", 0},
    {"TuneRequest", "Tune Request", false, "", "", 0xF6},
    {"TimingClock", "Timing Clock", false, "", "", 0xF8},
    {"Start", "Start Sequence", false, "", "", 0xFA},
    {"Continue", "Continue Sequence", false, "", "", 0xFB},
    {"Stop", "Stop Sequence", false, "", "", 0xFC},
    {"ActiveSensing", "Active Sensing", false, "", "", 0xFE},
    {"Reset", "Reset", false, "", "", 0xFF},
    {"ControlChange14", "Control Change (14-bit)", true, "CC#", "value", 0},
    {"BankChange", "Bank Change", true, "bank#", "program", 0},
    {"NRPN7", "NRPN 7-bit", true, "value", "", 0},
    {"NRPN14", "NRPN 14-bit", true, "value", "", 0},
    {"NRPNDataInc", "NRPN Data Increment", true, "", "", 0},
    {"NRPNDataDec", "NRPN Data Decrement", true, "", "", 0},
    {"RPN7", "RPN 7-bit", true, "value", "", 0},
    {"RPN14", "RPN 14-bit", true, "value", "", 0},
    {"RPNDataInc", "RPN Data Increment", true, "", "", 0},
    {"RPNDataDec", "RPN Data Decrement", true, "", "", 0},
};

const TypeRow& row(int type) {
    return MidiMessageTypeInfo::isValid(type) ? kTypes[type] : kTypes[0];
}

} // namespace

const char* MidiMessageTypeInfo::key(int type) {
    return row(type).key;
}

const char* MidiMessageTypeInfo::displayName(int type) {
    return row(type).displayName;
}

const char* MidiMessageTypeInfo::value1Name(int type) {
    return row(type).value1;
}

const char* MidiMessageTypeInfo::value2Name(int type) {
    return row(type).value2;
}

int MidiMessageTypeInfo::fromKey(const char* key) {
    if (key == nullptr || *key == 0)
        return 0;
    for (int type = 1; type < kMidiMessageTypeCount; ++type) {
        if (std::strcmp(kTypes[type].key, key) == 0)
            return type;
    }
    return 0;
}

bool MidiMessageTypeInfo::hasChannel(int type) {
    return row(type).channel;
}

bool MidiMessageTypeInfo::hasValue1(int type) {
    return *row(type).value1 != 0;
}

bool MidiMessageTypeInfo::hasValue2(int type) {
    return *row(type).value2 != 0;
}

int MidiMessageTypeInfo::systemStatus(int type) {
    return row(type).systemStatus;
}

} // namespace Tr
