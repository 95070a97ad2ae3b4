#include "host/TMBEventQueue.h"

#include <cstring>

#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "foundation/SystemClock.h"
#include "midi/MidiManager.h"

namespace Tr {

namespace {

constexpr int kLogKinds[] = {
    TGlobalTranslateParams::kLogMessages, TGlobalTranslateParams::kLogIncoming,
    TGlobalTranslateParams::kLogOutgoing, TGlobalTranslateParams::kLogRules};

void fillFields(TCallbackMessage& record, int type, int value1, int value2, int value3, int value4,
                int value5) {
    record.type = type;
    record.value1 = value1;
    record.value2 = value2;
    record.value3 = value3;
    record.value4 = value4;
    record.value5 = value5;
}

} // namespace

TMBEventQueue::TMBEventQueue() : monitor_(this) {
    setEventTypeEnabled(kError, true);
}

TMBEventQueue::~TMBEventQueue() {
    stop();
}

bool TMBEventQueue::post(int type, int value1, int value2, int value3, int value4) {
    return postText(type, value1, value2, value3, value4, 0, nullptr, 0);
}

bool TMBEventQueue::postText(int type, int value1, int value2, int value3, int value4, int value5,
                             const char* text, int length) {
    if (!text)
        length = 0;
    else if (length < 0)
        length = static_cast<int>(strnlen(text, TCallbackMessage::kMaxText));
    if (length > TCallbackMessage::kMaxText)
        length = TCallbackMessage::kMaxText;
    uint32_t size = TCallbackMessage::kHeaderSize + (length > 0 ? length + 1 : 0);
    return ring_.push(size, [&](TCallbackMessage& record) {
        fillFields(record, type, value1, value2, value3, value4, value5);
        if (length > 0)
            std::memcpy(record.text, text, length);
        record.text[length] = 0;
    });
}

bool TMBEventQueue::postHex(int type, const uint8_t* data, int length, int value1, int value4) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (!data || length < 0)
        length = 0;
    if (length > kMaxHexBytes)
        length = kMaxHexBytes;
    int textLength = length > 0 ? length * 3 - 1 : 0;
    uint32_t size = TCallbackMessage::kHeaderSize + (textLength > 0 ? textLength + 1 : 0);
    return ring_.push(size, [&](TCallbackMessage& record) {
        fillFields(record, type, value1, 0, 0, value4, 0);
        char* out = record.text;
        for (int i = 0; i < length; ++i) {
            if (i > 0)
                *out++ = ' ';
            *out++ = kDigits[data[i] >> 4];
            *out++ = kDigits[data[i] & 15];
        }
        *out = 0;
    });
}

bool TMBEventQueue::getLogEvent(Event& event) {
    return ring_.pop([&](const TCallbackMessage& record) {
        event.fields[0] = record.type;
        event.fields[1] = record.value1;
        event.fields[2] = record.value2;
        event.fields[3] = record.value3;
        event.fields[4] = record.value4;
        event.fields[5] = record.value5;
        uint32_t textBytes = static_cast<uint32_t>(record.size) > TCallbackMessage::kHeaderSize
                                 ? record.size - TCallbackMessage::kHeaderSize - 1
                                 : 0;
        event.text = Vorn::VString(record.text, static_cast<int>(textBytes));
    });
}

bool TMBEventQueue::isEventTypeEnabled(int type) const {
    return isType(type) && (enabled_.load(std::memory_order_relaxed) >> type & 1) != 0;
}

void TMBEventQueue::setBit(int type, bool on) {
    uint32_t bit = uint32_t{1} << type;
    if (on)
        enabled_.fetch_or(bit, std::memory_order_relaxed);
    else
        enabled_.fetch_and(~bit, std::memory_order_relaxed);
}

bool TMBEventQueue::setEventTypeEnabled(int type, bool on) {
    if (!isType(type))
        return false;
    if (on && type >= 12 && type <= 18)
        return false;
    if (isEventTypeEnabled(type) == on)
        return true;
    if (!on)
        setBit(type, false);
    if (!connect(type, on))
        return !on;
    if (on)
        setBit(type, true);
    return true;
}

// Every source here is reached on the host thread; a missing one fails only when enabling.
bool TMBEventQueue::connect(int type, bool on) {
    switch (type) {
    case kError:
        if (on)
            Vorn::addErrorCallback(this);
        else
            Vorn::removeErrorCallback(this);
        return true;
    case kProject:
        if (!engine_)
            return false;
        if (on)
            engine_->presetHandler().addRawListener(this);
        else
            engine_->presetHandler().removeRawListener(this);
        return true;
    case kDeviceList:
        if (!midiManager_)
            return false;
        if (on)
            midiManager_->addDeviceListListener(this);
        else
            midiManager_->removeDeviceListListener(this);
        return true;
    case kActivity:
        if (!engine_)
            return false;
        if (on)
            monitor_.attach(engine_);
        else
            monitor_.detach();
        return true;
    case kLogMessage:
    case kLogIncoming:
    case kLogOutgoing:
    case kLogRule:
        if (!engine_)
            return false;
        if (on)
            engine_->globals().setLogListener(this);
        engine_->globals().setLogSwitch(kLogKinds[type - kLogMessage], on ? 1 : 0);
        return true;
    case kMidiIn:
    case kMidiOut:
        if (!midiManager_)
            return false;
        if (type == kMidiIn && on)
            midiManager_->addInputFilter(this);
        else if (type == kMidiIn)
            midiManager_->removeInputFilter(this);
        else if (on)
            midiManager_->addOutputFilter(this);
        else
            midiManager_->removeOutputFilter(this);
        return true;
    case kDeviceManager:
    case kDeviceChanged:
    case kMaster:
        // Their sources (the device manager, the master) do not reach the queue yet.
        return false;
    default:
        return true;
    }
}

void TMBEventQueue::setEngine(TTransEngine* engine) {
    engine_ = engine;
    setEventTypeEnabled(kError, true);
}

void TMBEventQueue::setMidiManager(MidiManager* manager, MIDIAliasManager* aliases) {
    if (aliases_)
        aliases_->removeListener(this);
    midiManager_ = manager;
    aliases_ = aliases;
    if (aliases_)
        aliases_->addListener(this);
}

void TMBEventQueue::stop() {
    for (int type = 1; type <= kLastType; ++type)
        setEventTypeEnabled(type, false);
    monitor_.detach();
    if (engine_ && engine_->globals().logListener() == this)
        engine_->globals().setLogListener(nullptr);
    engine_ = nullptr;
    setMidiManager(nullptr, nullptr);
}

int TMBEventQueue::stamp() const {
    return logTimeStamps() ? static_cast<int>(Vorn::systemMillis()) : 0;
}

void TMBEventQueue::midiDeviceListChanged() {
    post(kDeviceList, 0, 0, 0, 0);
}

// The alias manager tells the queue from setMidiManager on; the record shows only while type 4
// is enabled.
void TMBEventQueue::aliasListChanged() {
    if (isEventTypeEnabled(kDeviceList))
        post(kDeviceList, 0, 0, 0, 0);
}

void TMBEventQueue::filterInput(int slot, int64_t& /*timestamp*/, const uint8_t*& data, int& length,
                                bool& /*pass*/) {
    postHex(kMidiIn, data, length, slot, stamp());
}

void TMBEventQueue::filterOutput(int slot, const uint8_t*& data, int& length, bool& /*pass*/) {
    postHex(kMidiOut, data, length, slot, stamp());
}

void TMBEventQueue::projectOpened(TPresetHandler* /*handler*/) {
    post(kProject, 1, 0, 0, 0);
}
void TMBEventQueue::projectReset(TPresetHandler* /*handler*/) {
    post(kProject, 2, 0, 0, 0);
}
void TMBEventQueue::suspendEnded(TPresetHandler* /*handler*/) {
    post(kProject, 0, 0, 0, 0);
}
void TMBEventQueue::presetListChanged(TPresetHandler* /*handler*/) {
    post(kProject, 3, 0, 0, 0);
}
void TMBEventQueue::presetActivationChanged(TPresetHandler* /*handler*/, TTransList* /*preset*/,
                                            int index) {
    post(kProject, 6, index, 0, 0);
}
void TMBEventQueue::presetStateChanged(TPresetHandler* handler, TTransList* preset) {
    post(kProject, 4, handler ? handler->indexOf(preset) : -1, 0, 0);
}
void TMBEventQueue::presetChanged(TPresetHandler* handler, TTransList* preset) {
    post(kProject, 5, handler ? handler->indexOf(preset) : -1, 0, 0);
}

void TMBEventQueue::message(int level, const Vorn::VString& text) {
    postText(kError, level, 0, 0, 0, 0, text.c_str(), text.length());
}

void TMBEventQueue::logMessage(const Vorn::VString& text) {
    postText(kLogMessage, 0, 0, 0, stamp(), 0, text.c_str(), text.length());
}
void TMBEventQueue::logIncoming(const Vorn::VString& text, int value1, int value2, int value3) {
    postText(kLogIncoming, value1, value2, value3, stamp(), 0, text.c_str(), text.length());
}
void TMBEventQueue::logOutgoing(const Vorn::VString& text, int value1, int value2, int value3) {
    postText(kLogOutgoing, value1, value2, value3, stamp(), 0, text.c_str(), text.length());
}
void TMBEventQueue::logRule(const Vorn::VString& text, int value1, int value2, int value3) {
    postText(kLogRule, value1, value2, value3, stamp(), 0, text.c_str(), text.length());
}

} // namespace Tr
