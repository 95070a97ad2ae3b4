#pragma once

#include "foundation/VString.h"

#include <cstdint>

namespace Tr {

// Type codes carried by every incoming event and every action; they index the per-type
// statistics, so they stay below kActionTypeCount.
constexpr int kTypeUnknown = 0;
constexpr int kTypeMidi = 1;
constexpr int kTypeKeystroke = 2;
constexpr int kTypeMouse = 3;
constexpr int kTypeTimer = 4;
constexpr int kTypePresetChange = 5;
constexpr int kTypeEnable = 6; // processing switched on or off, project opened
constexpr int kTypeNone = 7;
constexpr int kTypeSMsg = 8;
constexpr int kTypeImage = 9;
constexpr int kTypeExecuteFile = 10;
constexpr int kTypeReserved11 = 11;
constexpr int kTypeTablet = 12;
constexpr int kTypeScreen = 13;
constexpr int kTypeSerialPort = 14;
constexpr int kTypeAppleScript = 15;
constexpr int kTypeOsc = 16;
constexpr int kActionTypeCount = 17;

// Execution levels: an event carries the level of the thread delivering it; an action names
// the lowest level it may run on. An action above the event's level goes to the dispatcher.
constexpr int kLevelInput = 0;        // MIDI and serial input, timer ticks, preset activation
constexpr int kLevelDispatcher = 1;   // events posted to the dispatcher
constexpr int kLevelKeyboardHook = 2; // keystrokes from the global keyboard hook
constexpr int kLevelDispatcherOnly = 3;

// Activity bits of the flag word reported to the activity listener.
constexpr uint32_t kActivityMatched = 0x1;
constexpr uint32_t kActivityMidiIn = 0x2;
constexpr uint32_t kActivityMidiOut = 0x4;
constexpr uint32_t kActivityMidiClock = 0x8;      // 0xF8 received
constexpr uint32_t kActivityActiveSensing = 0x10; // 0xFE received
constexpr uint32_t kActivityTimerIn = 0x20;
constexpr uint32_t kActivityTimerOut = 0x40;
constexpr uint32_t kActivityKeystrokeIn = 0x80;
constexpr uint32_t kActivityKeystrokeOut = 0x100;
constexpr uint32_t kActivityMouseIn = 0x200;
constexpr uint32_t kActivityMouseOut = 0x400;
constexpr uint32_t kActivitySMsgOut = 0x800;
constexpr uint32_t kActivityMidiThru = 0x1000;
constexpr uint32_t kActivitySerialIn = 0x2000;
constexpr uint32_t kActivitySerialOut = 0x4000;
constexpr uint32_t kActivityOscIn = 0x8000;
constexpr uint32_t kActivityOscOut = 0x10000;
constexpr uint32_t kActivityOtherIn = 0x20000;
constexpr uint32_t kActivityOtherOut = 0x40000;

// The bit added for every processed event of this type; 0 for types 0, 7, 8 and unknown codes.
uint32_t activityInBit(int type);
// The bit added when an outgoing action of this type executed; 0 for types 0, 7 and unknown codes.
uint32_t activityOutBit(int type);

// The type code of a stored action form from its first four characters ("KAM2...", "Key ");
// 0 for any other tag, including the MIDI tags MID2 and MID3 (the action registry takes those).
int typeFromTag(const Vorn::VString& tag);

} // namespace Tr
