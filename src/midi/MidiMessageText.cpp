#include "midi/MidiMessageText.h"

#include "engine/VarOrNumber.h"
#include "engine/Variables.h"

#include <vector>

namespace Tr {

using Vorn::VString;

namespace {

constexpr const char* kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};

struct ControllerName {
    int number;
    const char* name;
};

// The named controllers; every other number has an empty name.
constexpr ControllerName kControllerNames[] = {
    {0, "Bank Select MSB"},
    {1, "Modulation"},
    {2, "Breath Control"},
    {4, "Foot Controller"},
    {5, "Portamento Time"},
    {6, "Data MSB"},
    {7, "Channel Volume"},
    {8, "Balance"},
    {10, "Pan"},
    {11, "Expression"},
    {32, "Bank Select LSB"},
    {33, "Modulation LSB"},
    {34, "Breath Control LSB"},
    {36, "Foot Controller LSB"},
    {37, "Portamento Time LSB"},
    {38, "Data LSB"},
    {39, "Channel Volume LSB"},
    {40, "Balance LSB"},
    {42, "Pan LSB"},
    {43, "Expression LSB"},
    {44, "Effect 1 LSB"},
    {45, "Effect 2 LSB"},
    {48, "General 1 LSB"},
    {49, "General 2 LSB"},
    {50, "General 3 LSB"},
    {51, "General 4 LSB"},
    {64, "Sustain"},
    {65, "Portamento"},
    {66, "Soft"},
    {67, "Sostenuto"},
    {68, "Legato"},
    {69, "Hold 2"},
    {70, "Sound Variation"},
    {71, "Timbre"},
    {72, "Release Time"},
    {73, "Attack Time"},
    {74, "Brightness"},
    {84, "Portamento Control"},
    {91, "Reverb"},
    {92, "Tremolo"},
    {93, "Chorus"},
    {95, "Phaser"},
    {96, "Data Entry +1"},
    {97, "Data Entry -1"},
    {98, "NRPN LSB"},
    {99, "NRPN MSB"},
    {100, "RPN LSB"},
    {101, "RPN MSB"},
    {120, "All Sound off"},
    {121, "Reset Controllers"},
    {122, "Local Control Switch"},
    {123, "All Notes Off"},
    {124, "Omni Mode Off"},
    {125, "Omni Mode On"},
    {126, "Poly Mode Switch"},
    {127, "Poly Mode On"},
};

// One pair of the raw string: a literal byte, a variable, or neither (an odd last character
// or a pair of other characters).
struct Token {
    enum Kind { kByte, kVariable, kInvalid } kind;
    int value; // the byte or the variable index
    VString text;
};

std::vector<Token> tokenize(const VString& compact) {
    std::vector<Token> tokens;
    for (int i = 0; i < compact.length(); i += 2) {
        const VString text = compact.substring(i, 2);
        const int variable = variableIndexAt(compact, i);
        const int high = hexDigitValue(compact.charAt(i));
        const int low = hexDigitValue(compact.charAt(i + 1));
        if (variable >= 0)
            tokens.push_back({Token::kVariable, variable, text});
        else if (text.length() == 2 && high >= 0 && low >= 0)
            tokens.push_back({Token::kByte, high * 16 + low, text});
        else
            tokens.push_back({Token::kInvalid, 0, text});
    }
    return tokens;
}

bool isByte(const Token& token) {
    return token.kind == Token::kByte;
}

bool isField(const Token& token) {
    return token.kind != Token::kInvalid;
}

VString valueField(const Token& token) {
    return token.kind == Token::kVariable ? variableName(token.value)
                                          : VString::fromInt(token.value);
}

VString noteField(const Token& token) {
    if (token.kind == Token::kVariable)
        return "Note " + variableName(token.value);
    return midiNoteName(token.value) + VString::format(" (#%d)", token.value);
}

VString controllerField(const Token& token) {
    if (token.kind == Token::kVariable)
        return "Controller " + variableName(token.value);
    const char* name = midiControllerName(token.value);
    if (*name == 0)
        return VString::format(" #%d", token.value);
    return VString::format("%s (#%d)", name, token.value);
}

// Two 7-bit fields lsb, msb as one value, or as "lsb,msb" when one of them is a variable.
bool bothBytes(const Token& lsb, const Token& msb) {
    return isByte(lsb) && isByte(msb);
}

VString pitchWheelText(const Token& lsb, const Token& msb) {
    if (!bothBytes(lsb, msb))
        return valueField(lsb) + "," + valueField(msb);
    const double v = double(lsb.value | msb.value << 7) - 8192.0;
    if (v > 0)
        return VString::format("+%3.1f%%", v / 8191.0 * 100.0);
    return VString::format("%3.1f%%", v / 8192.0 * 100.0);
}

// Describes messages from tokens[position]; returns false when the message there cannot be
// described, else advances position past it.
class Describer {
public:
    explicit Describer(const std::vector<Token>& tokens) : tokens_(tokens) {}

    bool next(size_t& position, VString& text) const {
        const Token& status = tokens_[position];
        if (!isByte(status) || status.value < 0x80)
            return false;
        const int s = status.value;
        const VString channel = VString::fromInt((s & 0x0F) + 1);
        switch (s & 0xF0) {
        case 0x80:
        case 0x90:
        case 0xA0: {
            if (!available(position, 3))
                return false;
            const Token& a = tokens_[position + 1];
            const Token& b = tokens_[position + 2];
            const char* format = (s & 0xF0) == 0x80   ? "Note Off ch.%s: %s, vel %s"
                                 : (s & 0xF0) == 0x90 ? "Note On ch.%s: %s, vel %s"
                                                      : "Aftertouch ch.%s: %s, %s";
            text = VString::format(format, channel.c_str(), noteField(a).c_str(),
                                   valueField(b).c_str());
            position += 3;
            return true;
        }
        case 0xB0:
            return controlChange(position, text, channel);
        case 0xC0:
        case 0xD0: {
            if (!available(position, 2))
                return false;
            const char* format =
                (s & 0xF0) == 0xC0 ? "Program Change ch.%s: %s" : "Channel Pressure ch.%s: %s";
            text =
                VString::format(format, channel.c_str(), valueField(tokens_[position + 1]).c_str());
            position += 2;
            return true;
        }
        case 0xE0:
            if (!available(position, 3))
                return false;
            text = VString::format(
                "PitchWheel ch.%s: %s", channel.c_str(),
                pitchWheelText(tokens_[position + 1], tokens_[position + 2]).c_str());
            position += 3;
            return true;
        default:
            return system(position, text);
        }
    }

private:
    // The message at position has count fields, every one a byte or a variable.
    bool available(size_t position, size_t count) const {
        if (position + count > tokens_.size())
            return false;
        for (size_t i = 1; i < count; ++i) {
            if (!isField(tokens_[position + i]))
                return false;
        }
        return true;
    }

    // The 3-byte controller message at position has this status and controller.
    bool isController(size_t position, int status, int controller) const {
        return available(position, 3) && isByte(tokens_[position]) &&
               tokens_[position].value == status && isByte(tokens_[position + 1]) &&
               tokens_[position + 1].value == controller;
    }

    bool controlChange(size_t& position, VString& text, const VString& channel) const {
        if (!available(position, 3))
            return false;
        const int status = tokens_[position].value;
        for (const int msbController : {99, 101}) {
            if (isController(position, status, msbController) &&
                isController(position + 3, status, msbController - 1) &&
                isController(position + 6, status, 6)) {
                text = VString::format(msbController == 99 ? "NRPN: MSB=%s LSB=%s"
                                                           : "RPN: MSB=%s LSB=%s",
                                       valueField(tokens_[position + 2]).c_str(),
                                       valueField(tokens_[position + 5]).c_str());
                text += ", data:";
                text += " MSB:" + valueField(tokens_[position + 8]);
                position += 9;
                if (isController(position, status, 38)) {
                    text += " LSB:" + valueField(tokens_[position + 2]);
                    position += 3;
                }
                return true;
            }
        }
        text = VString::format("CC ch.%s: %s, %s", channel.c_str(),
                               controllerField(tokens_[position + 1]).c_str(),
                               valueField(tokens_[position + 2]).c_str());
        position += 3;
        return true;
    }

    bool system(size_t& position, VString& text) const {
        switch (tokens_[position].value) {
        case 0xF0: {
            size_t end = position + 1;
            VString data;
            for (; end < tokens_.size(); ++end) {
                if (!isField(tokens_[end]))
                    return false;
                if (isByte(tokens_[end]) && tokens_[end].value == 0xF7)
                    break;
                if (!data.isEmpty())
                    data += ' ';
                data += tokens_[end].text;
            }
            text = VString::format("Sys Ex: %s", data.c_str());
            position = end < tokens_.size() ? end + 1 : end;
            return true;
        }
        case 0xF1: {
            if (!available(position, 2))
                return false;
            const Token& data = tokens_[position + 1];
            if (isByte(data))
                text =
                    VString::format("MTC Quarter Frame: %d,%d", data.value >> 4, data.value & 0x0F);
            else
                text = VString::format("MTC Quarter Frame: %s,%s", valueField(data).c_str(),
                                       valueField(data).c_str());
            position += 2;
            return true;
        }
        case 0xF2: {
            if (!available(position, 3))
                return false;
            const Token& lsb = tokens_[position + 1];
            const Token& msb = tokens_[position + 2];
            const VString value = bothBytes(lsb, msb) ? VString::fromInt(lsb.value | msb.value << 7)
                                                      : valueField(lsb) + "," + valueField(msb);
            text = VString::format("Song Position Pointer: %s", value.c_str());
            position += 3;
            return true;
        }
        case 0xF3:
            if (!available(position, 2))
                return false;
            text = VString::format("Song Select: %s", valueField(tokens_[position + 1]).c_str());
            position += 2;
            return true;
        default:
            break;
        }
        const char* name = nullptr;
        switch (tokens_[position].value) {
        case 0xF6:
            name = "Tune Request";
            break;
        case 0xF8:
            name = "Timing Clock";
            break;
        case 0xFA:
            name = "Song Start";
            break;
        case 0xFB:
            name = "Song Continue";
            break;
        case 0xFC:
            name = "Song Stop";
            break;
        case 0xFE:
            name = "Active Sensing";
            break;
        case 0xFF:
            name = "System Reset";
            break;
        default:
            return false;
        }
        text = name;
        position += 1;
        return true;
    }

    const std::vector<Token>& tokens_;
};

VString withoutBlanks(const VString& text) {
    VString result = VString::withCapacity(text.length());
    for (const char c : text.view()) {
        if (static_cast<unsigned char>(c) > 32)
            result += c;
    }
    return result;
}

} // namespace

VString midiNoteName(int note) {
    const int octave = note / 12 - 1;
    const int index = ((note % 12) + 12) % 12;
    return VString::format("%s%d", kNoteNames[index], octave);
}

const char* midiControllerName(int controller) {
    for (const ControllerName& entry : kControllerNames) {
        if (entry.number == controller)
            return entry.name;
    }
    return "";
}

VString spacedPairs(const VString& text) {
    VString result = VString::withCapacity(text.length() * 3 / 2 + 1);
    for (int i = 0; i < text.length(); i += 2) {
        if (i > 0)
            result += ' ';
        result += text.substring(i, 2);
    }
    return result;
}

VString friendlyMidiDescription(const VString& raw) {
    const VString compact = withoutBlanks(raw);
    const std::vector<Token> tokens = tokenize(compact);
    const Describer describer(tokens);
    VString result;
    size_t position = 0;
    while (position < tokens.size()) {
        VString message;
        if (!describer.next(position, message)) {
            if (!result.isEmpty())
                result += " - ";
            result += spacedPairs(compact.substring(static_cast<int>(position) * 2));
            break;
        }
        if (!result.isEmpty())
            result += " - ";
        result += message;
    }
    if (result.isEmpty())
        return "MIDI " + spacedPairs(compact);
    return result;
}

VString midiBytesText(const uint8_t* data, int length) {
    if (!data || length < 0)
        length = 0;
    VString result = VString::withCapacity(80);
    auto appendByte = [&result](uint8_t byte) {
        result += ' ';
        result += VString::toHexByte(byte);
    };
    if (length < 4) {
        result += "MIDI";
        for (int i = 0; i < length; ++i)
            appendByte(data[i]);
        return result;
    }
    result += VString::format("MIDI %d bytes", length);
    if (length <= 20) {
        for (int i = 0; i < length; ++i)
            appendByte(data[i]);
    } else {
        for (int i = 0; i < 19; ++i)
            appendByte(data[i]);
        result += " ...";
        appendByte(data[length - 1]);
    }
    return result;
}

} // namespace Tr
