#include "midi/SimpleMidiMessage.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/Variables.h"
#include "foundation/ErrorMessages.h"
#include "foundation/XmlElement.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiVariables.h"

namespace Tr {

using Info = MidiMessageTypeInfo;
using Vorn::VString;

namespace {

constexpr uint32_t kDataBits = SimpleMidiMessage::kStateDataMsb | SimpleMidiMessage::kStateDataLsb;
constexpr uint32_t kAllStateBits = SimpleMidiMessage::kStateMask;

constexpr const char* kNewVersionRequired = "New Version Required";

void reportTo(Vorn::ErrorMessageCallback* errors, int level, const VString& text) {
    if (errors)
        errors->message(level, text);
}

bool isValidVariable(int index) {
    return index >= 0 && index < kVariableIndexCount;
}

// The text of a given value in descriptions: "60 (0x3C)" or the variable's name.
VString givenText(const VarOrNumber& given) {
    if (given.isVariable)
        return variableName(given.value);
    return VString::format("%d (0x%02X)", given.value, static_cast<unsigned>(given.value));
}

// The number-or-variable of a "Channel", "Value1" or "Value2" element: "num" (optional sign,
// decimal or "0x" hexadecimal, wholly used), else "var" (a two-character variable name).
bool readGiven(const Vorn::XmlElement& element, VarOrNumber& given) {
    if (element.hasAttribute("num")) {
        const VString number = element.attribute("num");
        int32_t value = 0;
        if (!number.isEmpty() && parseInteger(number, 0, value) == number.length()) {
            given = VarOrNumber::number(value);
            return true;
        }
    }
    if (element.hasAttribute("var")) {
        const VString name = element.attribute("var");
        const int index = variableIndexAt(name, 0);
        if (name.length() == 2 && index >= 0) {
            given = VarOrNumber::variable(index);
            return true;
        }
    }
    return false;
}

// One of the three configurable fields of a message being loaded.
struct Field {
    const char* elementName;
    VarOrNumber* given;
    int* variable;
    uint32_t any;
    uint32_t setVar;
};

} // namespace

uint64_t SimpleMidiMessage::State::pack() const {
    return uint64_t(bits >> 16 & 0xF) | uint64_t(lastValue1 & 0xFF) << 8 |
           uint64_t(dataMsb & 0xFF) << 16 | uint64_t(dataLsb & 0xFF) << 24 |
           uint64_t(lastChannel & 0xFF) << 32 | uint64_t(paramMsb & 0xFF) << 40 |
           uint64_t(paramLsb & 0xFF) << 48;
}

SimpleMidiMessage::State SimpleMidiMessage::State::unpack(uint64_t word) {
    State state;
    state.bits = static_cast<uint32_t>(word & 0xF) << 16;
    state.lastValue1 = static_cast<int>(word >> 8 & 0xFF);
    state.dataMsb = static_cast<int>(word >> 16 & 0xFF);
    state.dataLsb = static_cast<int>(word >> 24 & 0xFF);
    state.lastChannel = static_cast<int>(word >> 32 & 0xFF);
    state.paramMsb = static_cast<int>(word >> 40 & 0xFF);
    state.paramLsb = static_cast<int>(word >> 48 & 0xFF);
    return state;
}

SimpleMidiMessage::SimpleMidiMessage(const SimpleMidiMessage& other)
    : type_(other.type_), channel_(other.channel_), value1_(other.value1_), value2_(other.value2_),
      channelVar_(other.channelVar_), value1Var_(other.value1Var_), value2Var_(other.value2Var_),
      flags_(other.flags_), paramMsb_(other.paramMsb_), paramLsb_(other.paramLsb_),
      state_(other.state_.load(std::memory_order_acquire)) {}

SimpleMidiMessage& SimpleMidiMessage::operator=(const SimpleMidiMessage& other) {
    if (this == &other)
        return *this;
    type_ = other.type_;
    channel_ = other.channel_;
    value1_ = other.value1_;
    value2_ = other.value2_;
    channelVar_ = other.channelVar_;
    value1Var_ = other.value1Var_;
    value2Var_ = other.value2Var_;
    flags_ = other.flags_;
    paramMsb_ = other.paramMsb_;
    paramLsb_ = other.paramLsb_;
    state_.store(other.state_.load(std::memory_order_acquire), std::memory_order_release);
    return *this;
}

void SimpleMidiMessage::resetState() {
    State state;
    state.paramMsb = paramMsb_;
    state.paramLsb = paramLsb_;
    state_.store(state.pack(), std::memory_order_release);
}

uint32_t SimpleMidiMessage::flagsWithState() const {
    return flags_ | State::unpack(state_.load(std::memory_order_acquire)).bits;
}

void SimpleMidiMessage::set(int type, VarOrNumber channel, VarOrNumber value1, VarOrNumber value2,
                            int paramMsb, int paramLsb, uint32_t flags, int channelVar,
                            int value1Var, int value2Var, bool incoming) {
    type_ = type;
    channel_ = Info::hasChannel(type) ? channel : VarOrNumber();
    channelVar_ = Info::hasChannel(type) ? channelVar : -1;
    value1_ = Info::hasValue1(type) ? value1 : VarOrNumber();
    value1Var_ = Info::hasValue1(type) ? value1Var : -1;
    value2_ = Info::hasValue2(type) ? value2 : VarOrNumber();
    value2Var_ = Info::hasValue2(type) ? value2Var : -1;
    paramMsb_ = Info::hasParameter(type) ? paramMsb & 0xFF : 0;
    paramLsb_ = Info::hasParameter(type) ? paramLsb & 0xFF : 0;
    flags_ = (incoming ? flags : flags & kOutgoingMask) & kConfigurationMask;
    normalise(incoming, nullptr);
    resetState();
}

void SimpleMidiMessage::normalise(bool incoming, Vorn::ErrorMessageCallback* errors) {
    using Vorn::kLevelInfo;
    using Vorn::kLevelWarning;
    if (Info::hasChannel(type_)) {
        if (!incoming && (flags_ & kChannelAny) != 0) {
            reportTo(errors, kLevelInfo, "Cannot send to any channel.");
            flags_ &= ~kChannelAny;
        }
        if (!incoming && (flags_ & kChannelSetVar) != 0) {
            reportTo(errors, kLevelInfo, "Cannot set variable to channel in outgoing action");
            flags_ &= ~kChannelSetVar;
        }
        if ((flags_ & kChannelSetVar) != 0 && !isValidVariable(channelVar_)) {
            flags_ &= ~kChannelSetVar;
            reportTo(errors, kLevelWarning, "Variable to set channel is not given.");
        }
        if ((flags_ & kChannelAny) != 0)
            channel_ = VarOrNumber();
    }
    if (Info::hasValue1(type_)) {
        if (!incoming && (flags_ & kValue1Any) != 0) {
            reportTo(
                errors, kLevelInfo,
                VString::format("Cannot send and set a variable to %s.", Info::value1Name(type_)));
            flags_ &= ~kValue1Any;
        }
        if (!incoming && (flags_ & kValue1SetVar) != 0) {
            reportTo(errors, kLevelInfo, "Cannot set variable to value 1 in outgoing action");
            flags_ &= ~kValue1SetVar;
        }
        if ((flags_ & kValue1SetVar) != 0 && !isValidVariable(value1Var_)) {
            flags_ &= ~kValue1SetVar;
            reportTo(errors, kLevelWarning, "Variable to set to value1 is not specified.");
        }
        if ((flags_ & kValue1Any) != 0)
            value1_ = VarOrNumber();
    }
    if (Info::hasValue2(type_)) {
        if (!incoming && (flags_ & kValue2Any) != 0) {
            reportTo(
                errors, kLevelInfo,
                VString::format("Cannot send and set a variable to %s.", Info::value2Name(type_)));
            flags_ &= ~kValue2Any;
        }
        if (!incoming && (flags_ & kValue2SetVar) != 0) {
            reportTo(errors, kLevelInfo, "Cannot set variable to value 2 in outgoing action");
            flags_ &= ~kValue2SetVar;
        }
        if ((flags_ & kValue2SetVar) != 0 && !isValidVariable(value2Var_)) {
            flags_ &= ~kValue2SetVar;
            reportTo(errors, kLevelWarning, "Variable to set to value 2 is not specified.");
        }
        if ((flags_ & kValue2Any) != 0)
            value2_ = VarOrNumber();
    }
}

bool SimpleMidiMessage::advanceControlChange14(State& state, const uint8_t* data, int /*length*/,
                                               const int32_t* locals,
                                               const TGlobalTranslateParams* globals, int& x,
                                               int& y) const {
    const int cc = data[1];
    const int channel = data[0] & 0x0F;
    bool isLsb = false;
    int controller = 0;
    if ((flags_ & kValue1Any) != 0) {
        if (cc <= 31) {
            controller = cc;
            state.bits &= ~kStateDataLsb;
        } else if (cc <= 63) {
            isLsb = true;
            controller = cc - 32;
        } else {
            state.bits &= ~kDataBits;
            return false;
        }
    } else {
        const int k = value1_.currentValue(locals, globals);
        if (k < 0 || k > 31)
            return false;
        if (cc == k) {
            controller = k;
            state.bits &= ~kStateDataLsb;
        } else if (cc == k + 32) {
            isLsb = true;
            controller = k;
        } else {
            state.bits &= ~kDataBits;
            return false;
        }
    }
    if ((state.bits & kStateDataMsb) != 0 && isLsb) {
        if (((flags_ & kChannelAny) != 0 && channel != state.lastChannel) ||
            ((flags_ & kValue1Any) != 0 && controller != state.lastValue1))
            return false;
        x = controller;
        y = state.dataMsb << 7 | data[2];
        state.bits &= ~kDataBits;
        return true;
    }
    if (isLsb) {
        state.dataLsb = data[2];
        state.bits |= kStateDataLsb;
    } else {
        state.dataMsb = data[2];
        state.bits |= kStateDataMsb;
    }
    state.lastValue1 = controller;
    state.lastChannel = channel;
    return false;
}

bool SimpleMidiMessage::advanceBankChange(State& state, const uint8_t* data, int length, int& x,
                                          int& y) const {
    const int channel = data[0] & 0x0F;
    if (length == 3) {
        const int cc = data[1];
        if (cc != 0 && cc != 32) {
            state.bits &= ~kDataBits;
            return false;
        }
        const uint32_t otherHalf = cc == 0 ? kStateDataLsb : kStateDataMsb;
        const bool continues = (state.bits & otherHalf) != 0 &&
                               ((flags_ & kChannelAny) == 0 || channel == state.lastChannel);
        if (!continues) {
            state.bits &= ~kDataBits;
            state.lastChannel = channel;
        }
        if (cc == 0) {
            state.dataMsb = data[2];
            state.bits |= kStateDataMsb;
        } else {
            state.dataLsb = data[2];
            state.bits |= kStateDataLsb;
        }
        return false;
    }
    if ((flags_ & kChannelAny) != 0 && channel != state.lastChannel)
        return false;
    if ((state.bits & kStateDataMsb) == 0) {
        state.bits &= ~kDataBits;
        return false;
    }
    // The bank stays selected: later program changes on the channel match with it.
    x = state.dataMsb << 7 | state.dataLsb;
    y = data[1];
    return true;
}

bool SimpleMidiMessage::advanceParameter(State& state, const uint8_t* data, int /*length*/,
                                         int& x) const {
    const bool nrpn = type_ <= kMidiNRPNDataDec;
    const int msbController = nrpn ? 99 : 101;
    const int lsbController = msbController - 1;
    int dataController = 6;
    if (type_ == kMidiNRPNDataInc || type_ == kMidiRPNDataInc)
        dataController = 96;
    else if (type_ == kMidiNRPNDataDec || type_ == kMidiRPNDataDec)
        dataController = 97;
    const bool fourteenBit = type_ == kMidiNRPN14 || type_ == kMidiRPN14;
    const int cc = data[1];
    const int d = data[2];
    const int channel = data[0] & 0x0F;

    if ((flags_ & kParamAny) != 0 && cc == msbController)
        state.paramMsb = d;
    if (cc == msbController && d == state.paramMsb)
        state.bits &= ~kAllStateBits;
    bool selected = (state.bits & kStateParamMsb) != 0;
    if (selected && (flags_ & kChannelAny) != 0 && channel != state.lastChannel) {
        state.bits &= ~kAllStateBits;
        selected = false;
    }
    if (selected) {
        // The null parameter number (101/127, 100/127) ends the selection.
        if (cc == 101 && d == 127) {
            state.bits &= ~(kStateParamMsb | kDataBits);
            return false;
        }
        if (cc == 100 && d == 127) {
            state.bits &= ~(kStateParamLsb | kDataBits);
            return false;
        }
        if (cc == 99 || cc == 101)
            state.bits &= ~kAllStateBits;
    }
    if (cc == msbController && d == state.paramMsb) {
        state.lastChannel = channel;
        state.bits |= kStateParamMsb;
    } else if (selected) {
        if ((flags_ & kParamAny) != 0 && cc == lsbController)
            state.paramLsb = d;
        if (cc == lsbController && d == state.paramLsb) {
            state.bits |= kStateParamLsb;
        } else if ((state.bits & kStateParamLsb) != 0) {
            if (cc == dataController) {
                state.dataMsb = d;
                state.bits |= kStateDataMsb;
            } else if (fourteenBit && cc == dataController + 32) {
                state.dataLsb = d;
                state.bits |= kStateDataLsb;
            }
        }
    }
    const uint32_t needed =
        fourteenBit ? kAllStateBits : kStateParamMsb | kStateParamLsb | kStateDataMsb;
    if ((state.bits & needed) != needed)
        return false;
    x = fourteenBit ? state.dataMsb << 7 | state.dataLsb : state.dataMsb;
    // The parameter stays selected, so further data entries match alone.
    state.bits &= ~kDataBits;
    return true;
}

bool SimpleMidiMessage::matches(const uint8_t* data, int length, int32_t* locals,
                                TGlobalTranslateParams* globals, Values& actual) {
    if (!data || length <= 0)
        return false;
    const int b0 = data[0];
    const int b1 = length > 1 ? data[1] : 0;
    const int b2 = length > 2 ? data[2] : 0;
    const int high = b0 & 0xF0;
    int x = 0;
    int y = 0;
    switch (type_) {
    case kMidiNoteOff:
        if (length != 3 || !(high == 0x80 || (high == 0x90 && b2 == 0)))
            return false;
        x = b1;
        y = b2;
        break;
    case kMidiNoteOn:
    case kMidiPolyphonicKeyPressure:
    case kMidiControlChange: {
        const int status = type_ == kMidiNoteOn ? 0x90 : type_ == kMidiControlChange ? 0xB0 : 0xA0;
        if (length != 3 || high != status || (type_ == kMidiNoteOn && b2 == 0))
            return false;
        x = b1;
        y = b2;
        break;
    }
    case kMidiProgramChange:
    case kMidiChannelPressure:
        if (length != 2 || high != (type_ == kMidiProgramChange ? 0xC0 : 0xD0))
            return false;
        x = b1;
        break;
    case kMidiPitchBend:
        if (length != 3 || high != 0xE0)
            return false;
        x = (b1 | b2 << 7) - ((flags_ & kPitchUnipolar) != 0 ? 0 : 8192);
        break;
    case kMidiMTCQuarterFrame:
        if (length != 2 || b0 != 0xF1)
            return false;
        x = b1 >> 4;
        y = b1 & 0x0F;
        break;
    case kMidiSongPosition:
        if (length != 3 || b0 != 0xF2)
            return false;
        x = b1 | b2 << 7;
        break;
    case kMidiSongSelect:
        if (length != 2 || b0 != 0xF3)
            return false;
        x = b1;
        break;
    case kMidiTuneRequest:
    case kMidiTimingClock:
    case kMidiStart:
    case kMidiContinue:
    case kMidiStop:
    case kMidiActiveSensing:
    case kMidiReset:
        if (length != 1 || b0 != Info::systemStatus(type_))
            return false;
        actual = Values();
        return true;
    case kMidiBankChange:
        if (!(length == 3 && high == 0xB0) && !(length == 2 && high == 0xC0))
            return false;
        break;
    case kMidiControlChange14:
    case kMidiNRPN7:
    case kMidiNRPN14:
    case kMidiNRPNDataInc:
    case kMidiNRPNDataDec:
    case kMidiRPN7:
    case kMidiRPN14:
    case kMidiRPNDataInc:
    case kMidiRPNDataDec:
        if (length != 3 || high != 0xB0)
            return false;
        break;
    default: // invalid types and system exclusive never match
        return false;
    }

    const int channel = b0 & 0x0F;
    if (Info::hasChannel(type_) && (flags_ & kChannelAny) == 0 &&
        channel_.currentValue(locals, globals) != channel)
        return false;

    if (type_ >= kMidiControlChange14) {
        // Several threads may feed the same message: compute the next state from a snapshot
        // and publish it only if nobody changed the state meanwhile, else start over.
        uint64_t word = state_.load(std::memory_order_acquire);
        bool complete = false;
        for (;;) {
            State state = State::unpack(word);
            if (type_ == kMidiControlChange14)
                complete = advanceControlChange14(state, data, length, locals, globals, x, y);
            else if (type_ == kMidiBankChange)
                complete = advanceBankChange(state, data, length, x, y);
            else
                complete = advanceParameter(state, data, length, x);
            const uint64_t next = state.pack();
            if (next == word || state_.compare_exchange_weak(word, next, std::memory_order_acq_rel,
                                                             std::memory_order_acquire))
                break;
        }
        if (!complete)
            return false;
    }

    if (Info::hasValue1(type_) && type_ != kMidiControlChange14 && (flags_ & kValue1Any) == 0 &&
        value1_.currentValue(locals, globals) != x)
        return false;
    if (Info::hasValue2(type_) && (flags_ & kValue2Any) == 0 &&
        value2_.currentValue(locals, globals) != y)
        return false;

    if (Info::hasChannel(type_) && (flags_ & kChannelSetVar) != 0)
        storeVariable(channelVar_, channel, locals, globals);
    if (Info::hasValue1(type_) && (flags_ & kValue1SetVar) != 0)
        storeVariable(value1Var_, x, locals, globals);
    if (Info::hasValue2(type_) && (flags_ & kValue2SetVar) != 0)
        storeVariable(value2Var_, y, locals, globals);
    actual.channel = channel;
    actual.value1 = x;
    actual.value2 = y;
    return true;
}

int SimpleMidiMessage::build(uint8_t* out, const int32_t* locals,
                             const TGlobalTranslateParams* globals, Values& actual) const {
    const int ch = Info::hasChannel(type_) ? channel_.currentValue(locals, globals) & 0x0F : 0;
    const int x = Info::hasValue1(type_) ? value1_.currentValue(locals, globals) : 0;
    const int y = Info::hasValue2(type_) ? value2_.currentValue(locals, globals) : 0;
    actual.channel = ch;
    actual.value1 = x;
    actual.value2 = y;
    int n = 0;
    auto put = [out, &n](int byte) { out[n++] = static_cast<uint8_t>(byte); };
    auto controller = [&put, ch](int number, int value) {
        put(0xB0 | ch);
        put(number);
        put(value);
    };
    switch (type_) {
    case kMidiNoteOff:
    case kMidiNoteOn:
    case kMidiPolyphonicKeyPressure:
    case kMidiControlChange:
        put((0x70 + type_ * 0x10) | ch);
        put(x & 0xFF);
        put(y & 0xFF);
        break;
    case kMidiProgramChange:
    case kMidiChannelPressure:
        put((0x70 + type_ * 0x10) | ch);
        put(x & 0xFF);
        break;
    case kMidiPitchBend: {
        const int w = (flags_ & kPitchUnipolar) != 0 ? x : x + 8192;
        put(0xE0 | ch);
        put(w & 0x7F);
        put(w >> 7 & 0x7F);
        break;
    }
    case kMidiMTCQuarterFrame:
        put(0xF1);
        put((x << 4 & 0x7F) | (y & 0x0F));
        break;
    case kMidiSongPosition:
        put(0xF2);
        put(x & 0x7F);
        put(x >> 7 & 0x7F);
        break;
    case kMidiSongSelect:
        put(0xF3);
        put(x & 0x7F);
        break;
    case kMidiTuneRequest:
    case kMidiTimingClock:
    case kMidiStart:
    case kMidiContinue:
    case kMidiStop:
    case kMidiActiveSensing:
    case kMidiReset:
        put(Info::systemStatus(type_));
        break;
    case kMidiControlChange14:
        controller(x & 0xFF, y >> 7 & 0x7F);
        controller((x + 32) & 0xFF, y & 0x7F);
        break;
    case kMidiBankChange:
        controller(0, x >> 7 & 0x7F);
        controller(32, x & 0x7F);
        put(0xC0 | ch);
        put(y & 0x7F);
        break;
    case kMidiNRPN7:
    case kMidiNRPN14:
    case kMidiNRPNDataInc:
    case kMidiNRPNDataDec:
    case kMidiRPN7:
    case kMidiRPN14:
    case kMidiRPNDataInc:
    case kMidiRPNDataDec: {
        const int msbController = type_ <= kMidiNRPNDataDec ? 99 : 101;
        controller(msbController, paramMsb_);
        controller(msbController - 1, paramLsb_);
        switch (type_) {
        case kMidiNRPN7:
        case kMidiRPN7:
            controller(6, x & 0x7F);
            break;
        case kMidiNRPN14:
        case kMidiRPN14:
            controller(6, x >> 7 & 0x7F);
            controller(38, x & 0x7F);
            break;
        case kMidiNRPNDataInc:
        case kMidiRPNDataInc:
            controller(96, 0);
            break;
        default:
            controller(97, 0);
            break;
        }
        // Every parameter message ends by selecting the null parameter.
        controller(101, 127);
        controller(100, 127);
        break;
    }
    default: // invalid types and system exclusive send nothing
        break;
    }
    return n;
}

VString SimpleMidiMessage::describe(const Values* actual) const {
    VString text = Info::displayName(type_);
    if (Info::hasParameter(type_))
        text += VString::format(" with MSB=%d (0x%02X) LSB=%d (0x%02X)", paramMsb_, paramMsb_,
                                paramLsb_, paramLsb_);
    if (Info::hasChannel(type_)) {
        if ((flags_ & kChannelAny) != 0) {
            text += " on any channel";
            if (actual)
                text += VString::format("=%d", actual->channel + 1);
        } else if (channel_.isVariable) {
            text += VString::format(" on ch.'%s'", variableName(channel_.value).c_str());
            if (actual)
                text += VString::format("=%d (ch.%d)", actual->channel, actual->channel + 1);
        } else {
            text += VString::format(" on ch. %d", channel_.value + 1);
        }
        if ((flags_ & kChannelSetVar) != 0)
            text += VString::format(" set '%s' to ch.", variableName(channelVar_).c_str());
    }
    if (Info::hasValue1(type_)) {
        const char* name = Info::value1Name(type_);
        if ((flags_ & kValue1Any) != 0)
            text += VString::format(" with any %s", name);
        else
            text += VString::format(" with %s:%s", name, givenText(value1_).c_str());
        if ((flags_ & kValue1SetVar) != 0)
            text +=
                VString::format(" %s '%s' to %s", (flags_ & kChannelSetVar) != 0 ? "and" : "set",
                                variableName(value1Var_).c_str(), name);
        if (actual && ((flags_ & kValue1Any) != 0 || value1_.isVariable))
            text += VString::format("=%d", actual->value1);
    }
    if (Info::hasValue2(type_)) {
        const char* name = Info::value2Name(type_);
        const char* word = (flags_ & kValue1SetVar) != 0 ? "with" : "and";
        if ((flags_ & kValue2Any) != 0)
            text += VString::format(" %s any %s", word, name);
        else
            text += VString::format(" %s %s:%s", word, name, givenText(value2_).c_str());
        if ((flags_ & kValue2SetVar) != 0)
            text += VString::format(" %s '%s' to %s", (flags_ & kValue1SetVar) != 0 ? "and" : "set",
                                    variableName(value2Var_).c_str(), name);
        if (actual && ((flags_ & kValue2Any) != 0 || value2_.isVariable))
            text += VString::format("=%d", actual->value2);
    }
    return text;
}

void SimpleMidiMessage::writeElement(Vorn::XmlElement& simple) const {
    simple.setAttribute("Type", Info::key(type_));
    if (Info::hasParameter(type_)) {
        simple.setIntAttribute("MSB", paramMsb_);
        simple.setIntAttribute("LSB", paramLsb_);
    }
    if (type_ == kMidiPitchBend && (flags_ & kPitchUnipolar) != 0)
        simple.setAttribute("Representation", "unipolar");

    struct Written {
        const char* elementName;
        bool present;
        VarOrNumber given;
        int variable;
        uint32_t any;
        uint32_t setVar;
        bool hexNumber;
    };
    const Written fields[3] = {
        {"Channel", Info::hasChannel(type_), channel_, channelVar_, kChannelAny, kChannelSetVar,
         false},
        {"Value1", Info::hasValue1(type_), value1_, value1Var_, kValue1Any, kValue1SetVar, true},
        {"Value2", Info::hasValue2(type_), value2_, value2Var_, kValue2Any, kValue2SetVar, true},
    };
    // The extended form keeps "set a variable to a value that must match", which the normal
    // form cannot express.
    bool extended = false;
    for (const Written& field : fields) {
        if (field.present && (flags_ & field.setVar) != 0 && (flags_ & field.any) == 0)
            extended = true;
    }
    for (const Written& field : fields) {
        if (!field.present)
            continue;
        const bool any = (flags_ & field.any) != 0;
        const bool setVar = (flags_ & field.setVar) != 0;
        if (extended && any && !setVar)
            continue;
        auto child = std::make_unique<Vorn::XmlElement>(field.elementName);
        if (extended) {
            if (!any) {
                if (field.given.isVariable)
                    child->setAttribute("var", variableName(field.given.value));
                else
                    child->setAttribute("num", VString::fromInt(field.given.value));
            }
            if (setVar)
                child->setAttribute("setvar", variableName(field.variable));
            child->setAttribute("Type", kNewVersionRequired);
        } else if (any && !setVar) {
            child->setAttribute("num", field.hexNumber ? "0x00" : "0");
            child->setAttribute("Type", "Any");
        } else if (any) {
            child->setAttribute("var", variableName(field.variable));
            child->setAttribute("Type", "SetVar");
        } else if (field.given.isVariable) {
            child->setAttribute("var", variableName(field.given.value));
        } else if (field.hexNumber) {
            child->setAttribute(
                "num", VString::format("0x%02X", static_cast<unsigned>(field.given.value)));
        } else {
            child->setAttribute("num", VString::fromInt(field.given.value));
        }
        simple.appendChild(std::move(child));
    }
}

bool SimpleMidiMessage::readElement(const Vorn::XmlElement& simple, bool incoming,
                                    Vorn::ErrorMessageCallback* errors) {
    const VString typeKey = simple.attribute("Type");
    const int type = Info::fromKey(typeKey.c_str());
    if (type == 0 && !typeKey.isEmpty()) {
        reportTo(errors, Vorn::kLevelError,
                 VString::format("invalid MIDI type: '%s'", typeKey.c_str()));
        return false;
    }
    SimpleMidiMessage loaded;
    loaded.type_ = type;
    if (Info::hasParameter(type)) {
        loaded.paramMsb_ = simple.intAttribute("MSB", 0) & 0xFF;
        loaded.paramLsb_ = simple.intAttribute("LSB", 0) & 0xFF;
    }
    if (type == kMidiPitchBend) {
        const VString representation = simple.attribute("Representation");
        if (representation.equals("unipolar", true))
            loaded.flags_ |= kPitchUnipolar;
        else if (!representation.isEmpty() && !representation.equals("bipolar", true))
            reportTo(
                errors, Vorn::kLevelWarning,
                VString::format("invalid pitch bend representation: '%s'", representation.c_str()));
    }
    const Field fields[3] = {
        {"Channel", &loaded.channel_, &loaded.channelVar_, kChannelAny, kChannelSetVar},
        {"Value1", &loaded.value1_, &loaded.value1Var_, kValue1Any, kValue1SetVar},
        {"Value2", &loaded.value2_, &loaded.value2Var_, kValue2Any, kValue2SetVar},
    };
    const bool present[3] = {Info::hasChannel(type), Info::hasValue1(type), Info::hasValue2(type)};
    for (int i = 0; i < 3; ++i) {
        if (!present[i])
            continue;
        const Field& field = fields[i];
        const Vorn::XmlElement* element = simple.child(field.elementName);
        if (!element) {
            loaded.flags_ |= field.any;
            *field.variable = -1;
            continue;
        }
        VarOrNumber given;
        const bool parsed = readGiven(*element, given);
        const VString fieldType = element->attribute("Type");
        if (fieldType.equals(kNewVersionRequired, true)) {
            if (parsed)
                *field.given = given;
            else
                loaded.flags_ |= field.any;
            const VString setVar = element->attribute("setvar");
            if (!setVar.isEmpty()) {
                loaded.flags_ |= field.setVar;
                *field.variable = variableIndexAt(setVar, 0);
            }
        } else if (fieldType.equals("Any", true)) {
            loaded.flags_ |= field.any;
            *field.variable = -1;
        } else if (fieldType.equals("SetVar", true)) {
            loaded.flags_ |= field.any | field.setVar;
            *field.variable = parsed && given.isVariable ? given.value : -1;
        } else if (fieldType.isEmpty() || fieldType.equals("ByValue", true)) {
            if (parsed)
                *field.given = given;
            else
                reportTo(errors, Vorn::kLevelWarning,
                         VString::format("invalid %s variable.", field.elementName));
        } else {
            reportTo(
                errors, Vorn::kLevelWarning,
                VString::format("invalid %s type: '%s'", field.elementName, fieldType.c_str()));
        }
    }
    loaded.normalise(incoming, errors);
    *this = loaded;
    resetState();
    return true;
}

} // namespace Tr
