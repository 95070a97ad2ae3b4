#pragma once

#include "engine/VarOrNumber.h"
#include "foundation/VString.h"

#include <atomic>
#include <cstdint>

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class TGlobalTranslateParams;

// A typed MIDI message (MidiMessageType.h) with a channel and up to two values, each a number or
// a variable, matched against incoming MIDI (capturing into variables) or built into outgoing
// bytes. Types 19-28 span several MIDI messages; their progress is runtime state kept between
// events.
//
// Threads: the configuration changes only on the host's thread while no event is matched.
// matches() may run on several input threads at once: the runtime state is one atomic word,
// advanced with compare-and-swap, so concurrent matches neither race nor block. build() only
// reads and writes into the caller's buffer.
class SimpleMidiMessage {
public:
    enum Flags : uint32_t {
        kChannelAny = 0x1,
        kChannelSetVar = 0x2,
        kValue1Any = 0x4,
        kValue1SetVar = 0x8,
        kValue2Any = 0x10,
        kValue2SetVar = 0x20,
        kParamAny = 0x40,
        kPitchUnipolar = 0x100,
        kStateDataMsb = 0x10000,
        kStateDataLsb = 0x20000,
        kStateParamMsb = 0x40000,
        kStateParamLsb = 0x80000,
    };
    static constexpr uint32_t kConfigurationMask = 0xFFFF;
    static constexpr uint32_t kOutgoingMask = 0xFF00;
    static constexpr uint32_t kStateMask = 0xF0000;
    // The longest block build() writes (a 14-bit NRPN or RPN).
    static constexpr int kMaxBytes = 18;

    // The channel (0-15) and values of one matched or sent message, for log lines.
    struct Values {
        int channel = 0;
        int value1 = 0;
        int value2 = 0;
    };

    SimpleMidiMessage() = default;
    // Copies configuration and runtime state.
    SimpleMidiMessage(const SimpleMidiMessage& other);
    SimpleMidiMessage& operator=(const SimpleMidiMessage& other);

    // Installs a message from its parts (the host's editor): fields the type does not have are
    // cleared, the parameter number is kept for types 21-28 only, outgoing flags are masked to
    // 0xFF00, the runtime state starts at 0; then normalises without reports.
    void set(int type, VarOrNumber channel, VarOrNumber value1, VarOrNumber value2, int paramMsb,
             int paramLsb, uint32_t flags, int channelVar, int value1Var, int value2Var,
             bool incoming);
    // Removes the flags and variables that cannot apply to the role, reporting each to errors
    // (may be null).
    void normalise(bool incoming, Vorn::ErrorMessageCallback* errors);

    int type() const { return type_; }
    const VarOrNumber& channel() const { return channel_; }
    const VarOrNumber& value1() const { return value1_; }
    const VarOrNumber& value2() const { return value2_; }
    int channelVar() const { return channelVar_; }
    int value1Var() const { return value1Var_; }
    int value2Var() const { return value2Var_; }
    // The configuration flags (bits 0-15).
    uint32_t flags() const { return flags_; }
    // The configuration flags with the current state bits 16-19.
    uint32_t flagsWithState() const;
    int paramMsb() const { return paramMsb_; }
    int paramLsb() const { return paramLsb_; }

    // Incoming: tests one complete message (or system-exclusive chunk), advancing the
    // multi-message state; on a match stores the captures and fills actual.
    bool matches(const uint8_t* data, int length, int32_t* locals, TGlobalTranslateParams* globals,
                 Values& actual);
    // Outgoing: writes the bytes for the current variable values into out (kMaxBytes) and
    // returns their count, 0 for types that send nothing.
    int build(uint8_t* out, const int32_t* locals, const TGlobalTranslateParams* globals,
              Values& actual) const;

    // "Note On on ch. 1 with note:60 (0x3C) and velocity:100 (0x64)"; with actual (log lines)
    // the values of any-valued and variable fields are appended.
    Vorn::VString describe(const Values* actual = nullptr) const;

    // The "Simple" element: attributes and the children "Channel", "Value1", "Value2".
    void writeElement(Vorn::XmlElement& simple) const;
    // Loads a "Simple" element and normalises; false (message unchanged) for an unknown type.
    bool readElement(const Vorn::XmlElement& simple, bool incoming,
                     Vorn::ErrorMessageCallback* errors);

private:
    // The runtime state packed in one word: state bits, lastValue1, dataMsb, dataLsb,
    // lastChannel and the parameter number as last selected (it follows the input with
    // kParamAny), one byte each.
    struct State {
        uint32_t bits = 0; // kState* flags
        int lastValue1 = 0;
        int dataMsb = 0;
        int dataLsb = 0;
        int lastChannel = 0;
        int paramMsb = 0;
        int paramLsb = 0;

        uint64_t pack() const;
        static State unpack(uint64_t word);
    };

    // Advances a multi-message state machine; true with x (and y) when the sequence completes.
    bool advanceControlChange14(State& state, const uint8_t* data, int length,
                                const int32_t* locals, const TGlobalTranslateParams* globals,
                                int& x, int& y) const;
    bool advanceBankChange(State& state, const uint8_t* data, int length, int& x, int& y) const;
    bool advanceParameter(State& state, const uint8_t* data, int length, int& x) const;
    void resetState();

    int type_ = 0;
    VarOrNumber channel_;
    VarOrNumber value1_;
    VarOrNumber value2_;
    int channelVar_ = -1;
    int value1Var_ = -1;
    int value2Var_ = -1;
    uint32_t flags_ = 0;
    int paramMsb_ = 0;
    int paramLsb_ = 0;
    std::atomic<uint64_t> state_{0};
};

} // namespace Tr
