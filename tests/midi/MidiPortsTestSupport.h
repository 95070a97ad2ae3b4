#pragma once

#include "foundation/VString.h"
#include "midi/MidiManagerListeners.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace MidiPortsTest {

// "90 3C 40" as bytes (spaces optional).
inline std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> result;
    int high = -1;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            continue;
        if (high < 0) {
            high = digit;
        } else {
            result.push_back(uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    return result;
}

// Bytes as "90 3C 40".
inline std::string hexText(const uint8_t* data, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", data[i]);
        text += pair;
    }
    return text;
}
inline std::string hexText(const std::vector<uint8_t>& bytes) {
    return hexText(bytes.data(), int(bytes.size()));
}

inline std::string str(const Vorn::VString& text) {
    return std::string(text.view());
}

// Keeps the manager's messages and problems as "message: ..." / "problem: ...".
class RecordingControl : public Tr::MidiManagerDeviceControlListener {
public:
    void message(int, bool, const Vorn::VString& text) override { add("message: ", text); }
    void problem(int, bool, const Vorn::VString& text) override { add("problem: ", text); }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<std::string> result;
        result.swap(lines_);
        return result;
    }

private:
    void add(const char* kind, const Vorn::VString& text) {
        std::lock_guard<std::mutex> hold(mutex_);
        lines_.push_back(kind + str(text));
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Keeps every message a data listener receives as hex text; optionally swallows them.
class RecordingData : public Tr::MidiManagerDataListener {
public:
    void midiData(int slot, int64_t, const uint8_t* data, int length, bool& swallowed) override {
        std::lock_guard<std::mutex> hold(mutex_);
        messages.push_back(hexText(data, length));
        slots.push_back(slot);
        if (swallow)
            swallowed = true;
    }
    std::vector<std::string> messages;
    std::vector<int> slots;
    bool swallow = false;

private:
    std::mutex mutex_;
};

} // namespace MidiPortsTest
