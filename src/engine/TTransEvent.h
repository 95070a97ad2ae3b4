#pragma once

#include <cstdint>
#include <type_traits>

namespace Tr {

class TGlobalTranslateParams;
class TTransList;

constexpr int kLocalVariableCount = 10;

// The keystroke of a keystroke event; every other event has key kNoKey.
struct TKeyEventRecord {
    static constexpr uint16_t kNoKey = 0xFFFF;
    uint16_t key;
};

// The record every input source hands to the engine. Plain and of fixed size: it is copied by
// value into dispatcher nodes. Producers call clear() before setting fields.
struct TTransEvent {
    int32_t type;                    // action type code
    int32_t level;                   // execution level of the delivering thread
    TGlobalTranslateParams* globals; // set by the engine when processing starts
    // MIDI: MIDI IN entry slot; timer: timer id; type 5: 1 activated, 0 deactivated;
    // type 6: 1 enabled, 0 disabled, 2 project opened.
    intptr_t key;
    int32_t presetIndexArg; // type 5: index of the preset whose activation changed
    int32_t portId;         // serial input: the port's identifier
    // Type 5: the preset's name. Not owned by the event; a queued copy owns its own copy.
    const char* text;
    TTransList* preset; // preset being evaluated (set by the engine)
    int32_t presetIndex;
    int32_t translatorIndex;
    const uint8_t* data; // raw input bytes; a queued copy owns its own copy
    int32_t dataLength;
    int32_t realtime;       // MIDI: first byte 0xF8 or 0xFE
    int32_t outputOriginal; // MIDI: 0 when a matching translator swallows the message
    int32_t rerunRequest;   // set by an incoming action to be evaluated again
    int32_t rerun;          // 1 during such a repetition
    TKeyEventRecord keyEvent;
    int32_t locals[kLocalVariableCount]; // oo .. xx

    // Zero-fills the record; keyEvent.key becomes kNoKey.
    void clear();
};

static_assert(std::is_trivially_copyable_v<TTransEvent>);

} // namespace Tr
