#pragma once

#include <atomic>
#include <cstdint>

#include "engine/TGlobalTranslateParams.h"
#include "engine/TProjectRawListener.h"
#include "foundation/ErrorMessages.h"
#include "foundation/VString.h"
#include "host/TCallbackMessage.h"
#include "host/TGUIEventMonitor.h"
#include "host/VQueueSyncVarSize.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManagerListeners.h"

namespace Tr {

class MidiManager;
class TTransEngine;

// The 256 KiB ring of GUI event records.
class TGUICallbacks : public Vorn::VQueueSyncVarSize<TCallbackMessage, 0x40000> {};

// Everything the front end shows about the running engine, as records it polls with
// getLogEvent. Each event type has a source the queue connects to while the type is enabled;
// producers post only while connected, so posting never checks the mask.
//
// Threads: post, postText and postHex (and the listener operations, which call them) on any
// thread: one lock, no allocation, at most 10,000 bytes copied. getLogEvent on one polling
// thread. Enabling, setEngine, setMidiManager and stop on the host thread.
class TMBEventQueue : public MidiDeviceListListener,
                      public MIDIAliasManager::Listener,
                      public MidiInDeviceFilter,
                      public MidiOutDeviceFilter,
                      public TProjectRawListener,
                      public Vorn::ErrorMessageCallback,
                      public TLogListener {
public:
    enum Type {
        kError = 1,
        kToFront = 2,
        kProject = 3,
        kDeviceList = 4,
        kActivity = 5,
        kLogMessage = 6,
        kLogIncoming = 7,
        kLogOutgoing = 8,
        kLogRule = 9,
        kMidiIn = 10,
        kMidiOut = 11,
        kCaptureFirst = 19,
        kCaptureLast = 21,
        kDeviceManager = 22,
        kDeviceChanged = 23,
        kSerialData = 24,
        kActionExecuted = 25,
        kTray = 26,
        kMaster = 27,
    };
    static constexpr int kLastType = 27;
    static constexpr int kMaxHexBytes = 3333;

    // One record as the consumer receives it.
    struct Event {
        int32_t fields[6]; // type, value1 .. value5
        Vorn::VString text;
    };

    TMBEventQueue(); // type 1 enabled
    ~TMBEventQueue() override;
    TMBEventQueue(const TMBEventQueue&) = delete;
    TMBEventQueue& operator=(const TMBEventQueue&) = delete;

    // False when the record does not fit (a full ring drops it).
    bool post(int type, int value1, int value2, int value3, int value4);
    // The text is cut to 10,000 bytes; a negative length means up to the zero byte.
    bool postText(int type, int value1, int value2, int value3, int value4, int value5,
                  const char* text, int length);
    // The data as upper-case hexadecimal pairs separated by spaces, cut to 3333 bytes.
    bool postHex(int type, const uint8_t* data, int length, int value1, int value4);

    // Takes the oldest record; false (event untouched) when the queue is empty.
    bool getLogEvent(Event& event);
    int pendingCount() const { return ring_.count(); }
    const TGUICallbacks& ring() const { return ring_; }

    // Types outside 1..27 are never enabled.
    bool isEventTypeEnabled(int type) const;
    // Connects (disconnects) the type's source. False for a type outside 1..27, for enabling
    // 12..18, and for enabling a type whose source is missing.
    bool setEventTypeEnabled(int type, bool on);
    void setLogTimeStamps(bool on) { timeStamps_.store(on ? 1 : 0, std::memory_order_relaxed); }
    bool logTimeStamps() const { return timeStamps_.load(std::memory_order_relaxed) != 0; }

    // The engine the project, activity and log types connect to; enables type 1.
    void setEngine(TTransEngine* engine);
    // The MIDI manager of types 4, 10 and 11 and the alias manager whose changes type 4 shows
    // (null: none). The queue stays registered with the alias manager until stop.
    void setMidiManager(MidiManager* manager, MIDIAliasManager* aliases);
    // Disables every type, detaches the monitor and forgets the engine and the MIDI manager.
    void stop();

    TGUIEventMonitor& monitor() { return monitor_; }

    // MidiDeviceListListener, MIDIAliasManager::Listener
    void midiDeviceListChanged() override;
    void aliasListChanged() override;
    // MidiInDeviceFilter, MidiOutDeviceFilter: the data is shown, never changed or dropped.
    void filterInput(int slot, int64_t& timestamp, const uint8_t*& data, int& length,
                     bool& pass) override;
    void filterOutput(int slot, const uint8_t*& data, int& length, bool& pass) override;
    // TProjectRawListener
    void projectOpened(TPresetHandler* handler) override;
    void projectReset(TPresetHandler* handler) override;
    void suspendEnded(TPresetHandler* handler) override;
    void presetListChanged(TPresetHandler* handler) override;
    void presetActivationChanged(TPresetHandler* handler, TTransList* preset, int index) override;
    void presetStateChanged(TPresetHandler* handler, TTransList* preset) override;
    void presetChanged(TPresetHandler* handler, TTransList* preset) override;
    // ErrorMessageCallback
    void message(int level, const Vorn::VString& text) override;
    // TLogListener
    void logMessage(const Vorn::VString& text) override;
    void logIncoming(const Vorn::VString& text, int value1, int value2, int value3) override;
    void logOutgoing(const Vorn::VString& text, int value1, int value2, int value3) override;
    void logRule(const Vorn::VString& text, int value1, int value2, int value3) override;

private:
    static bool isType(int type) { return type >= 1 && type <= kLastType; }
    int stamp() const;
    bool connect(int type, bool on);
    void setBit(int type, bool on);

    TGUICallbacks ring_;
    TGUIEventMonitor monitor_;
    TTransEngine* engine_ = nullptr;
    MidiManager* midiManager_ = nullptr;
    MIDIAliasManager* aliases_ = nullptr;
    std::atomic<int> timeStamps_{0};
    std::atomic<uint32_t> enabled_{0};
};

} // namespace Tr
