#include "midi/MidiManager.h"

#include "engine/RecordValue.h"
#include "engine/TTransEngine.h"
#include "foundation/CurrentInstance.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/TIniFile.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"
#include "midi/MidiEngineLink.h"
#include "midi/MidiOutputBase.h"
#include "midi/MidiPortNames.h"

#include <algorithm>
#include <bitset>

namespace Tr {

using Vorn::ScopedLock;
using Vorn::VString;

namespace {
Vorn::CurrentInstance<MidiManager>& current() {
    static Vorn::CurrentInstance<MidiManager> instance;
    return instance;
}

const char* direction(bool isInput) {
    return isInput ? "IN" : "OUT";
}

// Holds an entry's device lock for writing while its device is changed.
class DeviceWrite {
public:
    explicit DeviceWrite(MidiManagerDev& entry) : lock_(entry.deviceLock()) { lock_.lockWrite(); }
    ~DeviceWrite() { lock_.unlockWrite(); }
    DeviceWrite(const DeviceWrite&) = delete;
    DeviceWrite& operator=(const DeviceWrite&) = delete;

private:
    Vorn::VRWLock& lock_;
};
} // namespace

MidiManager* MidiManager::instance() {
    if (MidiManager* manager = current().get())
        return manager;
    // What the manager uses is created first, so that the registry deletes it after the manager.
    MIDIAliasManager::instance();
    HotplugWatcher::instance();
    return new MidiManager(); // becomes current; owned by the AutoDelete registry
}

MidiManager::MidiManager() : MidiManager(Options()) {}

MidiManager::MidiManager(const Options& options)
    : refreshTimer_(std::make_unique<Vorn::VTimer>(timerListener(), kStartRefreshDelay, false,
                                                   "Async MIDI device list refresh")),
      pendingTimer_(std::make_unique<Vorn::VTimer>(timerListener(), kDefaultPendingInterval, false,
                                                   "Check pending existing devices")),
      statisticsTimer_(std::make_unique<Vorn::VTimer>(timerListener(), kStatisticsMillis, true,
                                                      "MIDI statistics")),
      refreshTimerId_(refreshTimer_.get()), pendingTimerId_(pendingTimer_.get()),
      statisticsTimerId_(statisticsTimer_.get()),
      aliases_(options.aliases ? options.aliases : MIDIAliasManager::instance()),
      options_(options) {
    aliases_->addListener(this);
    previous_ = current().enter(this);
    for (MidiManagerInitializer* initializer : midiManagerInitializers())
        initializer->managerCreated(this);
}

MidiManager::~MidiManager() {
    stop();
    { ScopedLock wait(&lock_); } // a refresh that began before the stop has ended
    refreshTimer_.reset();
    pendingTimer_.reset();
    statisticsTimer_.reset();
    aliases_->removeListener(this);
    connectEngine(nullptr);
    {
        ScopedLock hold(&lock_);
        for (Kind& kind : kinds_)
            kind.factory->setListener(nullptr);
        kinds_.clear();
        for (auto& entry : inputs_.owned) {
            DeviceWrite write(*entry);
            entry->dropDevice();
        }
        for (auto& entry : outputs_.owned) {
            DeviceWrite write(*entry);
            entry->dropDevice();
        }
    }
    current().leave(this, previous_);
}

// ---- lifecycle ------------------------------------------------------------------------------

void MidiManager::start() {
    {
        ScopedLock hold(&lock_);
        if (!stopped_.load())
            return;
        stopped_.store(false);
        for (MidiManagerDeviceControlListener* listener : controlListeners_)
            listener->message(-1, true, "MIDIManager started.");
    }
    for (MidiManagerInitializer* initializer : midiManagerInitializers())
        initializer->managerStarted(this);
    if (options_.useHotplugWatcher)
        HotplugWatcher::instance()->addListener(this, HotplugWatcher::kClassMidi);
    statisticsTimer_->start();
    scheduleRefresh(kStartRefreshDelay);
}

void MidiManager::stop() {
    if (stopped_.load())
        return;
    for (MidiManagerInitializer* initializer : midiManagerInitializers())
        initializer->managerStopped(this);
    stopped_.store(true);
    closeAll();
    if (options_.useHotplugWatcher)
        if (HotplugWatcher* watcher = HotplugWatcher::existing())
            watcher->removeListener(this);
    refreshTimer_->stop();
    pendingTimer_->stop();
    statisticsTimer_->stop();
    writeStatistics();
    ScopedLock hold(&lock_);
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->message(-1, true, "MIDIManager stopped.");
}

// ---- kinds ----------------------------------------------------------------------------------

void MidiManager::addFactory(MidiDeviceFactory* factory) {
    {
        ScopedLock hold(&lock_);
        for (const Kind& kind : kinds_)
            if (kind.factory == factory)
                return;
        kinds_.push_back(Kind{factory});
        factory->setListener(this);
        factory->start();
    }
    scheduleRefresh(kStartRefreshDelay);
}

void MidiManager::removeFactory(MidiDeviceFactory* factory) {
    factory->setListener(nullptr);
    factoryGone(factory);
}

void MidiManager::factoryGone(MidiDeviceFactory* factory) {
    ScopedLock hold(&lock_);
    kinds_.erase(std::remove_if(kinds_.begin(), kinds_.end(),
                                [factory](const Kind& kind) { return kind.factory == factory; }),
                 kinds_.end());
    auto drop = [factory](MidiManagerDev& entry) {
        if (entry.device() && entry.device()->factory() == factory) {
            DeviceWrite write(entry);
            entry.dropDevice();
        }
        if (entry.descriptor() && entry.descriptor()->factory == factory) {
            entry.setPresent(false);
        }
    };
    for (auto& entry : inputs_.owned)
        drop(*entry);
    for (auto& entry : outputs_.owned)
        drop(*entry);
}

MidiDeviceFactory* MidiManager::factoryFor(uint32_t typeCode) const {
    for (const Kind& kind : kinds_)
        if (typeCode == 0 || kind.factory->typeCode() == typeCode)
            return kind.factory;
    return nullptr;
}

// ---- entries --------------------------------------------------------------------------------

int MidiManager::entryCount(bool isInput) const {
    return isInput ? inputs_.count.load() : outputs_.count.load();
}

MidiManagerDev* MidiManager::entry(int slot, bool isInput) const {
    return isInput ? static_cast<MidiManagerDev*>(inputs_.at(slot))
                   : static_cast<MidiManagerDev*>(outputs_.at(slot));
}

MMDevIn* MidiManager::input(int slot) const {
    return inputs_.at(slot);
}

MMDevOut* MidiManager::output(int slot) const {
    return outputs_.at(slot);
}

int MidiManager::findEntry(const VString& displayName, uint32_t typeCode, bool isInput) {
    ScopedLock hold(&lock_);
    const int count = entryCount(isInput);
    for (int slot = 0; slot < count; ++slot) {
        const MidiManagerDev* candidate = entry(slot, isInput);
        const bool sameKind =
            typeCode == 0 || candidate->typeCode() == 0 || candidate->typeCode() == typeCode;
        if (!sameKind)
            continue;
        if (candidate->displayName().equals(displayName, true))
            return slot;
        // A virtual port is also known by its paired name.
        const MidiDeviceDescriptor* descriptor = candidate->descriptor();
        if (candidate->typeCode() == MidiDeviceFactory::kTypeVirtual && descriptor &&
            !descriptor->secondaryId.isEmpty() && descriptor->secondaryId.equals(displayName, true))
            return slot;
    }
    return -1;
}

int MidiManager::findOrAddEntry(const VString& displayName, uint32_t typeCode, bool isInput) {
    ScopedLock hold(&lock_);
    const int found = findEntry(displayName, typeCode, isInput);
    return found >= 0 ? found : addEntry(displayName, typeCode, isInput);
}

int MidiManager::addEntry(const VString& displayName, uint32_t typeCode, bool isInput) {
    ScopedLock hold(&lock_);
    const int slot = entryCount(isInput);
    if (slot >= kMaxEntries) {
        Vorn::reportError("Too many MIDI %s ports: \"%s\" is left out.", direction(isInput),
                          displayName.c_str());
        return -1;
    }
    if (isInput) {
        inputs_.owned.push_back(std::make_unique<MMDevIn>(slot, displayName, typeCode));
        inputs_.slots[slot].store(inputs_.owned.back().get(), std::memory_order_release);
        inputs_.count.store(slot + 1, std::memory_order_release);
    } else {
        outputs_.owned.push_back(std::make_unique<MMDevOut>(slot, displayName, typeCode));
        outputs_.slots[slot].store(outputs_.owned.back().get(), std::memory_order_release);
        outputs_.count.store(slot + 1, std::memory_order_release);
    }
    tellDeviceList();
    return slot;
}

int MidiManager::entryState(int slot, bool isInput) const {
    const MidiManagerDev* e = entry(slot, isInput);
    if (!e)
        return kStateAbsent;
    if (e->isOpen())
        return kStateOpen;
    if (e->isPending())
        return e->isPresent() ? kStatePendingPresent : kStatePendingAbsent;
    return e->isPresent() ? kStatePresentClosed : kStateAbsent;
}

bool MidiManager::isPendingOrOpen(const VString& displayName, bool isInput) {
    ScopedLock hold(&lock_);
    const MidiManagerDev* e = entry(findEntry(displayName, 0, isInput), isInput);
    return e && e->isPendingOrOpen();
}

MidiManagerDev* MidiManager::entryOfDevice(MidiDeviceBase* device) const {
    MidiManagerDev* e = entry(device->slot(), device->isInput());
    return e && e->device() == device ? e : nullptr;
}

void MidiManager::entryNames(bool isInput, Vorn::VStringList& names) const {
    const int count = entryCount(isInput);
    for (int slot = 0; slot < count; ++slot)
        names.add(entry(slot, isInput)->displayName());
}

VString MidiManager::manufacturer(int slot, bool isInput) const {
    ScopedLock hold(&lock_);
    const MidiManagerDev* e = entry(slot, isInput);
    return e && e->descriptor() ? e->descriptor()->manufacturer : VString();
}

VString MidiManager::serialNumber(int slot, bool isInput) const {
    ScopedLock hold(&lock_);
    const MidiManagerDev* e = entry(slot, isInput);
    return e && e->descriptor() ? e->descriptor()->serialNumber : VString();
}

// ---- open and close -------------------------------------------------------------------------

bool MidiManager::open(int slot, bool isInput, Vorn::ErrorMessageCollector* errors) {
    ScopedLock hold(&lock_);
    MidiManagerDev* e = entry(slot, isInput);
    if (!e) {
        Vorn::reportError("Internal error: illegal MIDI %s device ID: %d", direction(isInput),
                          slot);
        return false;
    }
    return openEntry(*e, errors);
}

bool MidiManager::openEntry(MidiManagerDev& e, Vorn::ErrorMessageCollector* errors) {
    ScopedLock hold(&lock_);
    if (e.isOpen())
        return true;
    const char* dir = direction(e.isInput());
    MidiDeviceFactory* factory = e.isPresent() ? factoryFor(e.typeCode()) : nullptr;
    bool created = false;
    if (!stopped_.load() && factory) {
        DeviceWrite write(e);
        created = e.createDevice(*factory, this);
    }
    if (!created) {
        e.setPending(true);
        if (!e.isReported() && !stopped_.load()) {
            reportProblem(e, VString::format("MIDI %s \"%s\" does not exist. It is set to "
                                             "'pending' so that it is used automatically when "
                                             "you plug it in.",
                                             dir, e.displayName().c_str()));
            e.setReported(true);
        }
        return false;
    }

    e.setLastError(VString());
    tellOpening(e);
    VString deviceError;
    bool opened;
    {
        DeviceWrite write(e);
        opened = e.device()->open(deviceError);
    }
    if (opened) {
        e.setPending(false);
        e.setReported(false);
        reportMessage(e, VString::format("Opened MIDI %s: %s", dir, e.displayName().c_str()));
        tellOpened(e);
        return true;
    }

    e.setPending(true);
    const VString text = VString::format(
        "MIDI %s \"%s\" could not be opened (maybe in use by another program?). It is set to "
        "'pending' so that it is used automatically when it becomes available.",
        dir, e.displayName().c_str());
    if (errors) {
        errors->message(Vorn::kLevelError, deviceError.isEmpty() ? text : deviceError);
        e.setLastError(errors->messages().getText("\n"));
    } else {
        e.setLastError(text);
    }
    if (!e.isReported()) {
        reportProblem(e, text);
        e.setReported(true);
    }
    pendingTimer_->start();
    return false;
}

void MidiManager::close(int slot, bool isInput, bool force) {
    ScopedLock hold(&lock_);
    MidiManagerDev* e = entry(slot, isInput);
    if (!e) {
        Vorn::reportError("Internal error: illegal MIDI %s device ID: %d", direction(isInput),
                          slot);
        return;
    }
    closeEntry(*e, force);
}

void MidiManager::closeEntry(MidiManagerDev& e, bool force) {
    if ((!stopped_.load() || force) && e.isOpen()) {
        tellClosing(e);
        {
            DeviceWrite write(e);
            e.device()->close();
        }
        reportMessage(e, VString::format("Closed MIDI %s: %s", direction(e.isInput()),
                                         e.displayName().c_str()));
        tellClosed(e);
    }
    e.setPending(false);
    e.setReported(false);
}

void MidiManager::closeAll() {
    ScopedLock hold(&lock_);
    for (auto& e : inputs_.owned)
        closeEntry(*e, true);
    for (auto& e : outputs_.owned)
        closeEntry(*e, true);
}

// ---- the input path -------------------------------------------------------------------------

void MidiManager::midiData(MidiInputBase* input, int64_t timestamp, const uint8_t* data,
                           int length) {
    const int slot = input->slot();
    {
        const auto filters = inputFilters_.read();
        for (MidiInDeviceFilter* filter : *filters) {
            bool pass = true;
            filter->filterInput(slot, timestamp, data, length, pass);
            if (!pass)
                return;
        }
    }
    if (stopped_.load(std::memory_order_relaxed))
        return;
    MMDevIn* e = inputs_.at(slot);
    if (!e)
        return;
    e->countBytes(length);

    bool swallowed = false;
    {
        const auto main = mainListener_.read();
        if (*main)
            (*main)->midiData(slot, timestamp, data, length, swallowed);
        const auto further = dataListeners_.read();
        for (MidiManagerDataListener* listener : *further)
            listener->midiData(slot, timestamp, data, length, swallowed);
        const auto own = e->dataListeners().read();
        for (MidiManagerDataListener* listener : *own)
            listener->midiData(slot, timestamp, data, length, swallowed);
    }
    if (swallowed)
        return;

    const auto targets = e->thruTargets().read();
    if (targets->isEmpty())
        return;
    if (sendToAliases(*targets, data, length) != 0) {
        const auto thru = thruListener_.read();
        if (*thru)
            (*thru)->midiThru(slot, timestamp, data, length);
    }
}

// ---- output ---------------------------------------------------------------------------------

int MidiManager::sendToEntry(MMDevOut& e, const uint8_t* data, int length,
                             const std::vector<MidiOutDeviceFilter*>& filters) {
    for (MidiOutDeviceFilter* filter : filters) {
        bool pass = true;
        filter->filterOutput(e.slot(), data, length, pass);
        if (!pass)
            return 0;
    }
    if (!data || length <= 0 || !e.deviceLock().tryLockRead())
        return 0; // being opened or closed right now: nothing to send to
    MidiOutputBase* out = e.output();
    const int sent = out && out->isOpen() ? out->send(data, length) : 0;
    e.deviceLock().unlockRead();
    if (sent)
        e.countBytes(length);
    return sent;
}

int MidiManager::sendToAliases(const MIDIAliasList& aliases, const uint8_t* data, int length) {
    const auto filters = outputFilters_.read();
    std::bitset<kMaxEntries> done; // each entry gets the block once
    int result = 0;
    for (const MIDIAlias* alias : aliases) {
        if (alias->type() != MIDIAlias::kOut)
            continue;
        const int slot = alias->deviceSlot();
        MMDevOut* e = outputs_.at(slot);
        if (!e || done.test(size_t(slot)))
            continue;
        done.set(size_t(slot));
        if (sendToEntry(*e, data, length, *filters))
            result = 1;
    }
    return result;
}

int MidiManager::send(const MIDIAliasList& aliases, const uint8_t* data, int length) {
    if (outputPaused_.load(std::memory_order_relaxed))
        return 0;
    return sendToAliases(aliases, data, length);
}

int MidiManager::sendToEveryOutput(const uint8_t* data, int length) {
    const auto filters = outputFilters_.read();
    int result = 0;
    const int count = outputs_.count.load(std::memory_order_acquire);
    for (int slot = 0; slot < count; ++slot)
        if (MMDevOut* e = outputs_.at(slot); e && sendToEntry(*e, data, length, *filters))
            result = 1;
    return result;
}

int MidiManager::sendToAll(const uint8_t* data, int length) {
    if (outputPaused_.load(std::memory_order_relaxed))
        return 0;
    return sendToEveryOutput(data, length);
}

void MidiManager::sendToAllOutputs(const uint8_t* data, int length) {
    sendToEveryOutput(data, length);
}

void MidiManager::setOutputPaused(bool paused) {
    outputPaused_.store(paused);
}

// ---- listeners ------------------------------------------------------------------------------

namespace {
template <class T> void addTo(MidiSnapshot<std::vector<T*>>& list, T* item) {
    if (!item)
        return;
    list.update([item](std::vector<T*>& items) {
        if (std::find(items.begin(), items.end(), item) == items.end())
            items.push_back(item);
    });
}
template <class T> void removeFrom(MidiSnapshot<std::vector<T*>>& list, T* item) {
    list.update([item](std::vector<T*>& items) {
        items.erase(std::remove(items.begin(), items.end(), item), items.end());
    });
}
} // namespace

void MidiManager::connectEngine(TTransEngine* engine) {
    if (engine_)
        engine_->setMidiOutput(nullptr);
    setMainDataListener(nullptr);
    setThruListener(nullptr);
    engineLink_.reset();
    engine_ = engine;
    if (!engine)
        return;
    engineLink_ = std::make_unique<MidiEngineLink>(*engine);
    setMainDataListener(engineLink_.get());
    setThruListener(engineLink_.get());
    engine->setMidiOutput(this);
}

void MidiManager::setMainDataListener(MidiManagerDataListener* listener) {
    mainListener_.replace(listener);
}
void MidiManager::addDataListener(MidiManagerDataListener* listener) {
    addTo(dataListeners_, listener);
}
void MidiManager::removeDataListener(MidiManagerDataListener* listener) {
    removeFrom(dataListeners_, listener);
}
void MidiManager::addEntryDataListener(int slot, MidiManagerDataListener* listener) {
    if (MMDevIn* e = input(slot))
        addTo(e->dataListeners(), listener);
}
void MidiManager::removeEntryDataListener(int slot, MidiManagerDataListener* listener) {
    if (MMDevIn* e = input(slot))
        removeFrom(e->dataListeners(), listener);
}
void MidiManager::setThruListener(MidiManagerThruListener* listener) {
    thruListener_.replace(listener);
}
void MidiManager::addInputFilter(MidiInDeviceFilter* filter) {
    addTo(inputFilters_, filter);
}
void MidiManager::removeInputFilter(MidiInDeviceFilter* filter) {
    removeFrom(inputFilters_, filter);
}
void MidiManager::addOutputFilter(MidiOutDeviceFilter* filter) {
    addTo(outputFilters_, filter);
}
void MidiManager::removeOutputFilter(MidiOutDeviceFilter* filter) {
    removeFrom(outputFilters_, filter);
}

void MidiManager::addDeviceControlListener(MidiManagerDeviceControlListener* listener) {
    ScopedLock hold(&lock_);
    if (listener && std::find(controlListeners_.begin(), controlListeners_.end(), listener) ==
                        controlListeners_.end())
        controlListeners_.push_back(listener);
}
void MidiManager::removeDeviceControlListener(MidiManagerDeviceControlListener* listener) {
    ScopedLock hold(&lock_);
    controlListeners_.erase(
        std::remove(controlListeners_.begin(), controlListeners_.end(), listener),
        controlListeners_.end());
}
void MidiManager::addDeviceListListener(MidiDeviceListListener* listener) {
    ScopedLock hold(&lock_);
    if (listener &&
        std::find(listListeners_.begin(), listListeners_.end(), listener) == listListeners_.end())
        listListeners_.push_back(listener);
}
void MidiManager::removeDeviceListListener(MidiDeviceListListener* listener) {
    ScopedLock hold(&lock_);
    listListeners_.erase(std::remove(listListeners_.begin(), listListeners_.end(), listener),
                         listListeners_.end());
}

bool MidiManager::setPassTimingClock(int slot, bool pass) {
    MMDevIn* e = input(slot);
    if (e)
        e->setPassTimingClock(pass);
    return e != nullptr;
}

bool MidiManager::setPassActiveSensing(int slot, bool pass) {
    MMDevIn* e = input(slot);
    if (e)
        e->setPassActiveSensing(pass);
    return e != nullptr;
}

void MidiManager::reportMessage(const MidiManagerDev& e, const VString& text) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->message(e.slot(), e.isInput(), text);
}
void MidiManager::reportProblem(const MidiManagerDev& e, const VString& text) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->problem(e.slot(), e.isInput(), text);
}
void MidiManager::tellOpening(const MidiManagerDev& e) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->opening(e.slot(), e.isInput());
}
void MidiManager::tellOpened(const MidiManagerDev& e) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->opened(e.slot(), e.isInput());
}
void MidiManager::tellClosing(const MidiManagerDev& e) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->closing(e.slot(), e.isInput());
}
void MidiManager::tellClosed(const MidiManagerDev& e) {
    for (MidiManagerDeviceControlListener* listener : controlListeners_)
        listener->closed(e.slot(), e.isInput());
}
void MidiManager::tellDeviceList() {
    for (MidiDeviceListListener* listener : listListeners_)
        listener->midiDeviceListChanged();
}

// ---- device callbacks -----------------------------------------------------------------------

void MidiManager::deviceQuery(MidiDeviceBase* device, const VString& text) {
    ScopedLock hold(&lock_);
    if (MidiManagerDev* e = entryOfDevice(device))
        reportMessage(*e, text);
}

void MidiManager::deviceOpened(MidiDeviceBase* /*device*/) {
    // openEntry tells the listeners itself once the open returns.
}

void MidiManager::deviceError(MidiDeviceBase* device, const VString& message) {
    ScopedLock hold(&lock_);
    MidiManagerDev* e = entryOfDevice(device);
    if (!e)
        return;
    if (!e->isReported())
        reportProblem(*e, VString::format("MIDI %s \"%s\" cannot be opened (%s). It will be "
                                          "regularly tried to be opened again.",
                                          direction(e->isInput()), e->displayName().c_str(),
                                          message.c_str()));
    e->setPending(true);
    e->setReported(true);
}

void MidiManager::deviceLost(MidiDeviceBase* device) {
    {
        ScopedLock hold(&lock_);
        MidiManagerDev* e = entryOfDevice(device);
        if (!e)
            return;
        if (!e->isReported())
            reportProblem(*e, VString::format("MIDI %s \"%s\" unexpectedly closed. It is set to "
                                              "'pending' and it will be opened automatically "
                                              "when it becomes available again.",
                                              direction(e->isInput()), e->displayName().c_str()));
        reportMessage(*e, VString::format("Closed MIDI %s: %s", direction(e->isInput()),
                                          e->displayName().c_str()));
        tellClosed(*e);
        e->setPending(true);
        e->setReported(true);
        tellDeviceList();
    }
    // The refresh looks at the kind again and reopens the port once it is usable.
    if (device->factory())
        device->factory()->markChanged();
    scheduleRefresh(kLostRefreshDelay);
}

// ---- refresh --------------------------------------------------------------------------------

void MidiManager::scheduleRefresh(int delayMillis) {
    if (stopped_.load())
        return;
    refreshTimer_->setInitialDelay(delayMillis);
    refreshTimer_->start();
}

void MidiManager::refresh(bool force) {
    if (stopped_.load() || refreshing_.exchange(true))
        return;
    {
        ScopedLock hold(&lock_);
        refreshNow(force);
    }
    refreshing_.store(false);
}

void MidiManager::refreshNow(bool force) {
    for (Kind& kind : kinds_) {
        MidiDeviceFactory& factory = *kind.factory;
        const bool changed = factory.takeChanged();
        factory.refresh(force || changed);
        const int inputs = factory.deviceCount(true);
        const int outputs = factory.deviceCount(false);
        if (!force && !changed && inputs == kind.inputs && outputs == kind.outputs)
            continue;
        kind.inputs = inputs;
        kind.outputs = outputs;
        refreshKind(kind, true);
        refreshKind(kind, false);
    }
    markVirtualDuplicates();
    bindAliases();
    tellDeviceList();
}

void MidiManager::refreshKind(Kind& kind, bool isInput) {
    MidiDeviceFactory& factory = *kind.factory;
    const uint32_t code = factory.typeCode();
    Vorn::VOwnedList<MidiDeviceDescriptor> ports;
    factory.descriptors(isInput, ports);

    std::vector<bool> seen(size_t(entryCount(isInput)), false);
    for (const MidiDeviceDescriptor* port : ports) {
        const VString name = port->displayName();
        int slot = findEntry(name, code, isInput);
        if (slot < 0)
            slot = addEntry(name, code, isInput);
        if (slot < 0)
            continue;
        if (size_t(slot) >= seen.size())
            seen.resize(size_t(slot) + 1, false);
        seen[size_t(slot)] = true;
        MidiManagerDev& e = *entry(slot, isInput);
        if (e.typeCode() == 0)
            e.setTypeCode(code);
        e.setDescriptor(*port);
        if (e.device() && !e.isOpen() && !e.device()->descriptor().isIdentical(*port)) {
            DeviceWrite write(e); // the port came back changed: a new device opens it
            e.dropDevice();
        }
        if (!e.isPresent()) {
            e.setPresent(true);
            reportMessage(e, VString::format(isInput ? "Discovered MIDI INPUT : %s"
                                                     : "Discovered MIDI OUTPUT: %s",
                                             name.c_str()));
        }
    }

    const int count = entryCount(isInput);
    for (int slot = 0; slot < count; ++slot) {
        MidiManagerDev& e = *entry(slot, isInput);
        if (e.typeCode() != code)
            continue;
        const bool present = size_t(slot) < seen.size() && seen[size_t(slot)];
        if (!present && e.isPresent()) {
            e.setPresent(false);
            reportMessage(e, VString::format(isInput ? "Vanished MIDI INPUT   : %s"
                                                     : "Vanished MIDI OUTPUT  : %s",
                                             e.displayName().c_str()));
            if (e.isOpen()) {
                closeEntry(e, true);
                reportProblem(e, VString::format("MIDI %s \"%s\" unplugged. It is set to "
                                                 "'pending' so that it is used automatically "
                                                 "when you plug it in.",
                                                 isInput ? "input" : "output",
                                                 e.displayName().c_str()));
                e.setPending(true);
                e.setReported(true);
            }
        } else if (present && e.isPending() && !e.isOpen()) {
            openEntry(e, nullptr);
        }
    }
}

void MidiManager::markVirtualDuplicates() {
    Vorn::VStringList virtualNames;
    for (const Kind& kind : kinds_)
        if (kind.factory->typeCode() == MidiDeviceFactory::kTypeVirtual) {
            kind.factory->secondaryIds(true, virtualNames);
            kind.factory->secondaryIds(false, virtualNames);
        }
    if (virtualNames.isEmpty())
        return;
    for (const bool isInput : {true, false}) {
        const int count = entryCount(isInput);
        for (int slot = 0; slot < count; ++slot) {
            MidiManagerDev& e = *entry(slot, isInput);
            if (e.typeCode() == MidiDeviceFactory::kTypeSystem &&
                virtualNames.indexOfExact(removeNumberPrefix(e.displayName())) >= 0)
                e.setPresent(false);
        }
    }
}

void MidiManager::bindAliases() {
    ScopedLock hold(&lock_);
    std::vector<std::pair<VString, bool>> ports;
    for (const bool isInput : {true, false}) {
        const int count = entryCount(isInput);
        for (int slot = 0; slot < count; ++slot) {
            const MidiManagerDev& e = *entry(slot, isInput);
            if (e.isPresent() && !e.displayName().isEmpty())
                ports.emplace_back(e.displayName(), isInput);
        }
    }
    aliases_->aliasesForPorts(ports);
    // Each alias gets its new slot in one store: live MIDI never sees it unbound in between.
    aliases_->bindSlots(
        [this](const VString& name, bool isInput) { return findEntry(name, 0, isInput); });
    for (const bool isInput : {true, false}) {
        const int count = entryCount(isInput);
        for (int slot = 0; slot < count; ++slot) {
            MidiManagerDev& e = *entry(slot, isInput);
            e.boundAliases().clear();
            aliases_->aliasesOfDevice(e.displayName(), isInput ? MIDIAlias::kIn : MIDIAlias::kOut,
                                      e.boundAliases());
        }
    }
    collectThruTargets();
}

void MidiManager::collectThruTargets() {
    ScopedLock hold(&lock_);
    ScopedLock holdAliases(&aliases_->lock());
    const int count = entryCount(true);
    for (int slot = 0; slot < count; ++slot) {
        MMDevIn& e = *input(slot);
        MIDIAliasList targets;
        for (const MIDIAlias* alias : aliases_->all()) {
            if (alias->type() != MIDIAlias::kIn || alias->deviceSlot() != slot)
                continue;
            if (const auto routes = alias->thruTargets())
                for (MIDIAlias* to : *routes)
                    targets.add(to);
        }
        e.thruTargets().replace(std::move(targets));
    }
}

void MidiManager::routesChanged() {
    collectThruTargets();
}

void MidiManager::aliasListChanged() {
    if (!refreshing_.load())
        bindAliases();
}

void MidiManager::aliasChanged(MIDIAlias* /*alias*/) {
    if (!refreshing_.load())
        bindAliases();
}

void MidiManager::checkPending() {
    ScopedLock hold(&lock_);
    if (stopped_.load())
        return;
    for (const bool isInput : {true, false}) {
        const int count = entryCount(isInput);
        for (int slot = 0; slot < count; ++slot) {
            MidiManagerDev& e = *entry(slot, isInput);
            if (e.isPending() && e.isPresent() && !e.isOpen())
                openEntry(e, nullptr);
        }
    }
}

void MidiManager::setPendingInterval(int millis) {
    pendingInterval_ = std::max(1, millis);
    pendingTimer_->setPeriod(pendingInterval_);
}

void MidiManager::hotplugPoll(int deviceClass) {
    if ((deviceClass == HotplugWatcher::kClassMidi || deviceClass == -1) && !suppressed_.load())
        refresh(true);
}

void MidiManager::hotplugNotify(int deviceClass) {
    hotplugPoll(deviceClass);
}

void MidiManager::timerFired(Vorn::VTimer* timer) {
    if (timer == refreshTimerId_)
        refresh(false);
    else if (timer == pendingTimerId_)
        checkPending();
    else if (timer == statisticsTimerId_)
        writeStatistics();
}

// ---- statistics and settings ----------------------------------------------------------------

void MidiManager::setStatisticsLog(StatisticsLog log) {
    ScopedLock hold(&lock_);
    statisticsLog_ = std::move(log);
}

void MidiManager::writeStatistics() {
    ScopedLock hold(&lock_);
    for (const bool isInput : {false, true}) {
        const int count = entryCount(isInput);
        for (int slot = 0; slot < count; ++slot) {
            MidiManagerDev& e = *entry(slot, isInput);
            const int64_t bytes = e.takeByteCount();
            if (bytes == 0 || !statisticsLog_)
                continue;
            statisticsLog_(VString::format(isInput ? "MIDI INPUT  \"%s\": %lld bytes received"
                                                   : "MIDI OUTPUT \"%s\": %lld bytes sent",
                                           e.displayName().c_str(), static_cast<long long>(bytes)));
        }
    }
}

void MidiManager::saveSettings(TIniFile& ini) {
    ScopedLock hold(&lock_);
    for (const bool isInput : {true, false}) {
        const VString section = isInput ? kSectionIn : kSectionOut;
        const int count = entryCount(isInput);
        for (int n = 0; n < count; ++n) {
            const MidiManagerDev& e = *entry(n, isInput);
            ini.setValue(section, VString::format("Name%d", n), encodeRecordValue(e.displayName()));
            ini.setValue(section, VString::format("Options%d", n), e.optionsText());
        }
        for (int n = count; ini.hasKey(section, VString::format("Name%d", n)); ++n) {
            ini.removeKey(section, VString::format("Name%d", n));
            ini.removeKey(section, VString::format("Options%d", n));
        }
    }
}

void MidiManager::loadSettings(const TIniFile& ini) {
    ScopedLock hold(&lock_);
    for (const bool isInput : {true, false}) {
        const VString section = isInput ? kSectionIn : kSectionOut;
        for (int n = 0;; ++n) {
            const VString nameKey = VString::format("Name%d", n);
            if (!ini.hasKey(section, nameKey))
                break;
            const VString name = ini.getValue(section, nameKey);
            const VString optionsKey = VString::format("Options%d", n);
            const VString options = ini.getValue(section, optionsKey);
            // The options choose the kind; a missing text is a pending system port.
            std::unique_ptr<MidiManagerDev> parsed;
            if (isInput)
                parsed = std::make_unique<MMDevIn>(-1, name, 0);
            else
                parsed = std::make_unique<MMDevOut>(-1, name, 0);
            parsed->readOptions(options);
            const int slot = findOrAddEntry(name, parsed->typeCode(), isInput);
            MidiManagerDev* e = entry(slot, isInput);
            if (!e)
                continue;
            e->setTypeCode(parsed->typeCode());
            e->readOptions(options);
        }
    }
}

} // namespace Tr
