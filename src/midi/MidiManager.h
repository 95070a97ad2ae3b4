#pragma once

#include "engine/TEngineHooks.h"
#include "foundation/AutoDelete.h"
#include "foundation/VLock.h"
#include "foundation/VString.h"
#include "foundation/VStringList.h"
#include "foundation/VTimer.h"
#include "midi/HotplugWatcher.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiInputBase.h"
#include "midi/MidiManagerDev.h"
#include "midi/MidiManagerListeners.h"
#include "midi/MidiSnapshot.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Vorn {
class ErrorMessageCollector;
}

namespace Tr {

class MIDIAliasList;
class MidiEngineLink;
class TIniFile;
class TTransEngine;

// Owner of every MIDI port the program uses: one table of MIDI IN and one of MIDI OUT entries,
// each a named port that is open, pending (wanted, opened as soon as it can be) or closed. Opens
// ports through the device kinds, binds aliases to entries, follows ports appearing and
// vanishing, retries pending ports, hands incoming MIDI to filters, listeners and thru routes,
// sends outgoing bytes to aliases and reports everything to its device-control listeners.
//
// One current instance: instance() creates the process-wide one on first use; a manager
// constructed directly (tests) is the current one until it is destroyed.
//
// Threads. The input path (midiData) runs on the devices' input threads, many at once, and
// neither allocates nor waits: entries are found in a fixed table, listener lists are lock-free
// snapshots, an entry's device lock is only tried. send may run on any thread, the same way.
// Everything else runs on the host's thread, the timer thread ("VTimerManager": pending check,
// statistics, hot-plug) or the refresh worker, serialised by the manager's lock. Listeners must
// not be added or removed, and devices not opened or closed, from inside an input callback.
class MidiManager : public MidiInputBase::DataListener,
                    public MIDIAliasManager::Listener,
                    public MidiDeviceFactory::Listener,
                    public HotplugWatcher::Listener,
                    public TEngineMidiOutput,
                    public Vorn::AutoDelete,
                    private Vorn::VTimer::Listener {
public:
    // Host state codes of an entry.
    enum EntryState {
        kStateAbsent = 2,
        kStatePresentClosed = 3,
        kStateOpen = 4,
        kStatePendingAbsent = 5,
        kStatePendingPresent = 6,
    };

    static constexpr int kMaxEntries = 1024; // per direction
    static constexpr int kDefaultPendingInterval = 10000;
    static constexpr int kStatisticsMillis = 900000;
    static constexpr int kStartRefreshDelay = 50;
    static constexpr int kLostRefreshDelay = 15;
    static constexpr const char* kSectionIn = "MIDI.in";
    static constexpr const char* kSectionOut = "MIDI.out";

    struct Options {
        // Null: the current alias manager.
        MIDIAliasManager* aliases = nullptr;
        // Register with the process-wide hot-plug watcher while started.
        bool useHotplugWatcher = true;
    };

    static MidiManager* instance();

    MidiManager();
    explicit MidiManager(const Options& options);
    ~MidiManager() override;

    MIDIAliasManager& aliases() { return *aliases_; }

    // start: "MIDIManager started.", initializers, hot-plug watcher, statistics timer.
    // stop: initializers, every entry closed, statistics written, "MIDIManager stopped.".
    void start();
    void stop();
    bool isStopped() const { return stopped_.load(); }

    // Device kinds: the manager becomes the kind's listener and starts it.
    void addFactory(MidiDeviceFactory* factory);
    void removeFactory(MidiDeviceFactory* factory);

    // Entries, by display name ignoring case and, with a type code, the same kind (an entry
    // without kind matches any; a virtual port's paired name is accepted too). -1: none.
    int findEntry(const Vorn::VString& displayName, uint32_t typeCode, bool isInput);
    // A new entry gets the next slot, not present; -1 when the table is full.
    int findOrAddEntry(const Vorn::VString& displayName, uint32_t typeCode, bool isInput);
    int entryCount(bool isInput) const;
    MidiManagerDev* entry(int slot, bool isInput) const;
    MMDevIn* input(int slot) const;
    MMDevOut* output(int slot) const;
    int entryState(int slot, bool isInput) const;
    // The entry of that name (any kind) is pending or open. aliasType 1 IN, 2 OUT.
    bool isPendingOrOpen(const Vorn::VString& displayName, bool isInput);

    // Opens the entry; a failure leaves it pending and reports once. errors collects the
    // system's text. Close clears pending; force closes even while stopped.
    bool open(int slot, bool isInput, Vorn::ErrorMessageCollector* errors = nullptr);
    void close(int slot, bool isInput, bool force = false);
    void closeAll();

    // Sends the block once to every open output an alias of the list is bound to, through the
    // output filters; non-zero when at least one send succeeded. Nothing while output is paused.
    int send(const MIDIAliasList& aliases, const uint8_t* data, int length);
    // Every open output; nothing while output is paused.
    int sendToAll(const uint8_t* data, int length);
    bool isOutputPaused() const { return outputPaused_.load(); }
    // TEngineMidiOutput (panic): sends even while paused.
    void sendToAllOutputs(const uint8_t* data, int length) override;
    void setOutputPaused(bool paused) override;

    // The engine becomes the main data listener and the thru listener, and gets this manager as
    // its MIDI output. Null disconnects. The engine must outlive the connection.
    void connectEngine(TTransEngine* engine);

    void setMainDataListener(MidiManagerDataListener* listener);
    void addDataListener(MidiManagerDataListener* listener);
    void removeDataListener(MidiManagerDataListener* listener);
    void addEntryDataListener(int slot, MidiManagerDataListener* listener);
    void removeEntryDataListener(int slot, MidiManagerDataListener* listener);
    void setThruListener(MidiManagerThruListener* listener);
    void addInputFilter(MidiInDeviceFilter* filter);
    void removeInputFilter(MidiInDeviceFilter* filter);
    void addOutputFilter(MidiOutDeviceFilter* filter);
    void removeOutputFilter(MidiOutDeviceFilter* filter);
    void addDeviceControlListener(MidiManagerDeviceControlListener* listener);
    void removeDeviceControlListener(MidiManagerDeviceControlListener* listener);
    void addDeviceListListener(MidiDeviceListListener* listener);
    void removeDeviceListListener(MidiDeviceListListener* listener);

    // Pass flags of an input entry (applied to its open device at once); false for a bad slot.
    bool setPassTimingClock(int slot, bool pass);
    bool setPassActiveSensing(int slot, bool pass);

    // Host device list: display names in slot order; manufacturer and serial number of an entry.
    void entryNames(bool isInput, Vorn::VStringList& names) const;
    Vorn::VString manufacturer(int slot, bool isInput) const;
    Vorn::VString serialNumber(int slot, bool isInput) const;

    // Device-list refresh: asynchronous after delay ms (on the refresh timer), or now on the
    // calling thread. Skipped while stopped; one at a time.
    void scheduleRefresh(int delayMillis);
    void refresh(bool force);
    bool isRefreshing() const { return refreshing_.load(); }
    void setRefreshSuppressed(bool suppressed) { suppressed_.store(suppressed); }
    // What the pending timer does: every pending entry whose port is present is opened again.
    void checkPending();
    void setPendingInterval(int millis);
    int pendingInterval() const { return pendingInterval_; }

    // The router changed its forwarding lists: every input entry's thru targets are collected
    // again from the routes of its bound aliases.
    void routesChanged();

    // Statistics lines go to the project's log file when one is set (null: none).
    using StatisticsLog = std::function<void(const Vorn::VString& line)>;
    void setStatisticsLog(StatisticsLog log);
    void writeStatistics();

    // The sections "MIDI.in" and "MIDI.out".
    void saveSettings(TIniFile& ini);
    void loadSettings(const TIniFile& ini);

    // MidiInputBase::DataListener: the input path.
    void midiData(MidiInputBase* input, int64_t timestamp, const uint8_t* data,
                  int length) override;

    // MidiDeviceFactory::Listener
    void deviceQuery(MidiDeviceBase* device, const Vorn::VString& text) override;
    void deviceOpened(MidiDeviceBase* device) override;
    void deviceError(MidiDeviceBase* device, const Vorn::VString& message) override;
    void deviceLost(MidiDeviceBase* device) override;
    void factoryGone(MidiDeviceFactory* factory) override;

    // HotplugWatcher::Listener: a forced refresh unless suppressed.
    void hotplugPoll(int deviceClass) override;
    void hotplugNotify(int deviceClass) override;

    // MIDIAliasManager::Listener: bindings follow alias edits.
    void aliasListChanged() override;
    void aliasChanged(MIDIAlias* alias) override;

private:
    struct Kind {
        MidiDeviceFactory* factory;
        int inputs = -1; // last seen counts
        int outputs = -1;
    };
    template <class Entry> struct Table {
        std::unique_ptr<std::atomic<Entry*>[]> slots { new std::atomic<Entry*>[ kMaxEntries ] };
        std::vector<std::unique_ptr<Entry>> owned; // guarded by the manager's lock
        std::atomic<int> count{0};
        Entry* at(int slot) const {
            return slot >= 0 && slot < count.load(std::memory_order_acquire)
                       ? slots[slot].load(std::memory_order_acquire)
                       : nullptr;
        }
    };

    void timerFired(Vorn::VTimer* timer) override;
    Vorn::VTimer::Listener* timerListener() { return this; }

    MidiDeviceFactory* factoryFor(uint32_t typeCode) const;
    MidiManagerDev* entryOfDevice(MidiDeviceBase* device) const;
    int addEntry(const Vorn::VString& displayName, uint32_t typeCode, bool isInput);
    bool openEntry(MidiManagerDev& entry, Vorn::ErrorMessageCollector* errors);
    void closeEntry(MidiManagerDev& entry, bool force);
    int sendToEntry(MMDevOut& entry, const uint8_t* data, int length,
                    const std::vector<MidiOutDeviceFilter*>& filters);
    int sendToAliases(const MIDIAliasList& aliases, const uint8_t* data, int length);
    int sendToEveryOutput(const uint8_t* data, int length);
    void refreshNow(bool force);
    void refreshKind(Kind& kind, bool isInput);
    void markVirtualDuplicates();
    void bindAliases();
    void collectThruTargets();

    void reportMessage(const MidiManagerDev& entry, const Vorn::VString& text);
    void reportProblem(const MidiManagerDev& entry, const Vorn::VString& text);
    void tellOpening(const MidiManagerDev& entry);
    void tellOpened(const MidiManagerDev& entry);
    void tellClosing(const MidiManagerDev& entry);
    void tellClosed(const MidiManagerDev& entry);
    void tellDeviceList();

    std::atomic<bool> stopped_{true};
    mutable Vorn::VLock lock_;
    std::unique_ptr<Vorn::VTimer> refreshTimer_;
    std::unique_ptr<Vorn::VTimer> pendingTimer_;
    std::unique_ptr<Vorn::VTimer> statisticsTimer_;
    // The timers' identities for timerFired, which may run while the destructor drops them.
    Vorn::VTimer* const refreshTimerId_;
    Vorn::VTimer* const pendingTimerId_;
    Vorn::VTimer* const statisticsTimerId_;
    std::vector<Kind> kinds_;
    Table<MMDevIn> inputs_;
    Table<MMDevOut> outputs_;
    MidiSnapshot<MidiManagerDataListener*> mainListener_;
    MidiSnapshot<std::vector<MidiManagerDataListener*>> dataListeners_;
    MidiSnapshot<MidiManagerThruListener*> thruListener_;
    MidiSnapshot<std::vector<MidiInDeviceFilter*>> inputFilters_;
    MidiSnapshot<std::vector<MidiOutDeviceFilter*>> outputFilters_;
    std::vector<MidiManagerDeviceControlListener*> controlListeners_;
    std::vector<MidiDeviceListListener*> listListeners_;
    std::atomic<bool> outputPaused_{false};
    int pendingInterval_ = kDefaultPendingInterval;
    std::atomic<bool> refreshing_{false};
    std::atomic<bool> suppressed_{false};
    StatisticsLog statisticsLog_;
    MIDIAliasManager* aliases_;
    Options options_;
    TTransEngine* engine_ = nullptr;
    std::unique_ptr<MidiEngineLink> engineLink_;
    MidiManager* previous_ = nullptr;
};

} // namespace Tr
