#include "midi/RawMidiMessage.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/VarOrNumber.h"
#include "engine/Variables.h"
#include "foundation/ErrorMessages.h"
#include "midi/MidiMessageText.h"
#include "midi/MidiVariables.h"

#include <cstring>
#include <new>

namespace Tr {

using Vorn::VString;

namespace {

void reportError(Vorn::ErrorMessageCallback* errors, const VString& text) {
    if (errors)
        errors->message(Vorn::kLevelError, text);
}

bool isLoneRealtime(const uint8_t* data, int length) {
    return length == 1 && data[0] >= 0xF8;
}

// Holds a try-locked flag until the end of the scope.
class FlagHold {
public:
    explicit FlagHold(std::atomic_flag& flag) : flag_(flag) {}
    ~FlagHold() { flag_.clear(std::memory_order_release); }
    FlagHold(const FlagHold&) = delete;
    FlagHold& operator=(const FlagHold&) = delete;

private:
    std::atomic_flag& flag_;
};

} // namespace

bool RawMidiMessage::setText(const VString& text, Vorn::ErrorMessageCallback* errors) {
    VString compact = VString::withCapacity(text.length());
    for (const char c : text.view()) {
        if (static_cast<unsigned char>(c) > 32)
            compact += c;
    }
    text_ = compact;
    bytes_.clear();
    varIndex_.clear();
    variables_.clear();
    pending_.reset();
    pendingCount_.store(0, std::memory_order_relaxed);

    if (compact.length() % 2 != 0) {
        reportError(errors, "invalid MIDI message");
        return false;
    }
    const int n = compact.length() / 2;
    std::vector<uint8_t> bytes;
    std::vector<int16_t> varIndex;
    std::vector<Variable> variables;
    std::unique_ptr<uint8_t[]> pending;
    try {
        bytes.assign(n, 0);
        varIndex.assign(n, -1);
        pending = std::make_unique<uint8_t[]>(n > 0 ? n : 1);
    } catch (const std::bad_alloc&) {
        reportError(errors, "Out of memory");
        return false;
    }
    for (int i = 0; i < n; ++i) {
        const int variable = variableIndexAt(compact, 2 * i);
        if (variable >= 0) {
            varIndex[i] = static_cast<int16_t>(variable);
            variables.push_back({variable, i});
            continue;
        }
        const int high = hexDigitValue(compact.charAt(2 * i));
        const int low = hexDigitValue(compact.charAt(2 * i + 1));
        if (high < 0 || low < 0) {
            reportError(errors, VString::format("\"%s\" is not a valid variable.",
                                                compact.substring(2 * i, 2).c_str()));
            return false;
        }
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    bytes_ = std::move(bytes);
    varIndex_ = std::move(varIndex);
    variables_ = std::move(variables);
    pending_ = std::move(pending);
    return true;
}

bool RawMidiMessage::fits(int position, const uint8_t* data, int length) const {
    const int n = size();
    if (position + length > n)
        return false;
    // A timing clock or active sensing byte between the chunks of a message is no part of it.
    if (n > 1 && isLoneRealtime(data, length) && varIndex_[position] >= 0)
        return false;
    for (int k = 0; k < length; ++k) {
        if (varIndex_[position + k] < 0 && data[k] != bytes_[position + k])
            return false;
    }
    return true;
}

void RawMidiMessage::capture(const uint8_t* message, int32_t* locals,
                             TGlobalTranslateParams* globals, VString* logLine) const {
    for (const Variable& variable : variables_)
        storeVariable(variable.index, message[variable.position], locals, globals);
    if (!logLine)
        return;
    *logLine = midiBytesText(message, size());
    if (variables_.empty())
        return;
    *logLine += ", ";
    for (const Variable& variable : variables_)
        *logLine += VString::format(" %s=0x%02X", variableName(variable.index).c_str(),
                                    message[variable.position]);
}

bool RawMidiMessage::matches(const uint8_t* data, int length, int32_t* locals,
                             TGlobalTranslateParams* globals, VString* logLine) {
    const int n = size();
    if (n == 0 || !data || length <= 0)
        return false;
    if (pendingBusy_.test_and_set(std::memory_order_acquire)) {
        // Another thread is assembling a message: a complete one can still match on its own.
        if (length != n || !fits(0, data, length))
            return false;
        capture(data, locals, globals, logLine);
        return true;
    }
    FlagHold hold(pendingBusy_);
    return matchPending(data, length, locals, globals, logLine);
}

bool RawMidiMessage::matchPending(const uint8_t* data, int length, int32_t* locals,
                                  TGlobalTranslateParams* globals, VString* logLine) {
    const int n = size();
    int held = pendingCount_.load(std::memory_order_relaxed);
    uint8_t* pending = pending_.get();
    if (held > 0 && held + length > n) {
        if (length == n) {
            held = 0;
        } else if (length < n) {
            // Keep the longest tail that starts with a status byte and leaves room.
            int drop = held;
            for (int i = 1; i < held; ++i) {
                if ((pending[i] & 0x80) != 0 && (held - i) + length <= n) {
                    drop = i;
                    break;
                }
            }
            std::memmove(pending, pending + drop, held - drop);
            held -= drop;
        }
    }
    if (fits(held, data, length)) {
        const uint8_t* message = data;
        if (held > 0 || held + length < n) {
            std::memcpy(pending + held, data, length);
            held += length;
            if (held < n) {
                pendingCount_.store(held, std::memory_order_relaxed);
                return false;
            }
            message = pending;
        }
        pendingCount_.store(0, std::memory_order_relaxed);
        capture(message, locals, globals, logLine);
        return true;
    }
    if (held > 0) {
        const bool channelMessage = length <= 3 && data[0] < 0xF0;
        const bool endOfExclusive = bytes_[0] == 0xF0 && data[length - 1] == 0xF7;
        if (channelMessage || endOfExclusive)
            held = 0;
    }
    pendingCount_.store(held, std::memory_order_relaxed);
    return false;
}

void RawMidiMessage::fill(uint8_t* out, const int32_t* locals,
                          const TGlobalTranslateParams* globals) const {
    std::memcpy(out, bytes_.data(), bytes_.size());
    for (const Variable& variable : variables_) {
        const VarOrNumber reference = VarOrNumber::variable(variable.index);
        out[variable.position] =
            static_cast<uint8_t>(reference.currentValue(locals, globals) & 0xFF);
    }
}

} // namespace Tr
