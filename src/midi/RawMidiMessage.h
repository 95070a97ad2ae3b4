#pragma once

#include "foundation/VString.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vorn {
class ErrorMessageCallback;
} // namespace Vorn

namespace Tr {

class TGlobalTranslateParams;

// A MIDI byte string written as hexadecimal pairs in which any pair may be a variable name
// ("B0 07 pp"). Incoming, it matches one message or a sequence of messages (a system exclusive
// arriving in chunks, several channel messages in a row) reassembled in a pending buffer, and
// captures the variable bytes; outgoing, the variables' values fill their bytes.
//
// Threads: the text changes only on the host's thread while no event is matched. matches() may
// run on several input threads at once: the pending buffer belongs to whoever holds its flag
// (only tried, never waited for); a thread that finds it taken can still match a complete
// message on its own. withBytes() builds into a buffer of its own call.
class RawMidiMessage {
public:
    // Longest pattern with variables built on the stack when sent; longer ones use the heap.
    static constexpr int kStackBytes = 256;

    RawMidiMessage() = default;
    RawMidiMessage(const RawMidiMessage&) = delete;
    RawMidiMessage& operator=(const RawMidiMessage&) = delete;

    // Stores the text without the characters of code 32 and below and parses it. On failure
    // ("invalid MIDI message", ""%s" is not a valid variable.", "Out of memory", reported to
    // errors when given) the text stays but the message has no bytes: it never matches and
    // sends nothing.
    bool setText(const Vorn::VString& text, Vorn::ErrorMessageCallback* errors);
    const Vorn::VString& text() const { return text_; }
    // Bytes of the parsed pattern; 0 for an empty or invalid text.
    int size() const { return static_cast<int>(bytes_.size()); }
    bool hasVariables() const { return !variables_.empty(); }
    // Bytes currently held from a message that is still arriving.
    int pendingCount() const { return pendingCount_.load(std::memory_order_relaxed); }

    // Tests one incoming event (a complete message or chunk). On a complete match the variable
    // bytes are stored and, when logLine is given, it receives the log text of the message.
    bool matches(const uint8_t* data, int length, int32_t* locals, TGlobalTranslateParams* globals,
                 Vorn::VString* logLine);

    // Calls send(bytes, count) with the pattern, its variables filled from the current values;
    // returns what send returns, or 0 without calling it for an empty message. Allocates only for
    // patterns with variables longer than kStackBytes.
    template <class Send>
    int withBytes(const int32_t* locals, const TGlobalTranslateParams* globals, Send&& send) const;

private:
    // The event can continue the pending bytes at position: every literal pattern byte is met
    // and no lone real-time byte would fill a variable.
    bool fits(int position, const uint8_t* data, int length) const;
    // Stores the captures of a complete message.
    void capture(const uint8_t* message, int32_t* locals, TGlobalTranslateParams* globals,
                 Vorn::VString* logLine) const;
    void fill(uint8_t* out, const int32_t* locals, const TGlobalTranslateParams* globals) const;
    bool matchPending(const uint8_t* data, int length, int32_t* locals,
                      TGlobalTranslateParams* globals, Vorn::VString* logLine);

    struct Variable {
        int index;    // variable index 0-369
        int position; // byte position in the pattern
    };

    Vorn::VString text_;
    std::vector<uint8_t> bytes_;         // literal bytes, 0 where a variable stands
    std::vector<int16_t> varIndex_;      // per byte: the variable index, or -1 for a literal
    std::vector<Variable> variables_;    // in text order
    std::unique_ptr<uint8_t[]> pending_; // size() bytes
    std::atomic<int> pendingCount_{0};
    std::atomic_flag pendingBusy_;
};

template <class Send>
int RawMidiMessage::withBytes(const int32_t* locals, const TGlobalTranslateParams* globals,
                              Send&& send) const {
    const int n = size();
    if (n == 0)
        return 0;
    if (variables_.empty())
        return send(bytes_.data(), n);
    if (n <= kStackBytes) {
        uint8_t out[kStackBytes];
        fill(out, locals, globals);
        return send(out, n);
    }
    std::vector<uint8_t> out(n);
    fill(out.data(), locals, globals);
    return send(out.data(), n);
}

} // namespace Tr
