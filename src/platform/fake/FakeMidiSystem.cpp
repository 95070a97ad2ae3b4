#include "platform/fake/FakeMidiSystem.h"

#include <algorithm>

namespace Platform {

struct FakeMidiSystem::Port {
    std::string id;
    bool isInput = true;
    std::string name;
    PortDetails details;

    std::mutex mutex; // guards the fields below
    bool plugged = true;
    bool inUse = false;
    bool open = false;
    int openCount = 0;
    int generation = 0; // counts opens: a port object only closes its own open
    std::vector<std::vector<uint8_t>> sent;

    // Held by a feed while the callback runs, and by close and removal, so that the callback
    // never runs concurrently with itself, after its port closed or after it was told lost.
    std::mutex feedMutex;
    MidiInputCallback* callback = nullptr; // guarded by feedMutex
};

namespace {

class FakeInputPort final : public MidiInputPort {
public:
    FakeInputPort(std::shared_ptr<FakeMidiSystem::Port> port, int generation)
        : port_(std::move(port)), generation_(generation) {}
    ~FakeInputPort() override {
        std::lock_guard<std::mutex> feeding(port_->feedMutex);
        std::lock_guard<std::mutex> hold(port_->mutex);
        if (port_->generation != generation_)
            return;
        port_->callback = nullptr;
        port_->open = false;
    }

private:
    std::shared_ptr<FakeMidiSystem::Port> port_;
    const int generation_;
};

class FakeOutputPort final : public MidiOutputPort {
public:
    FakeOutputPort(std::shared_ptr<FakeMidiSystem::Port> port, int generation)
        : port_(std::move(port)), generation_(generation) {}
    ~FakeOutputPort() override {
        std::lock_guard<std::mutex> hold(port_->mutex);
        if (port_->generation == generation_)
            port_->open = false;
    }
    MidiResult sendShort(const uint8_t* data, int length) override {
        return length >= 1 && length <= 3 ? send(data, length) : MidiResult::kFailed;
    }
    MidiResult sendLong(const uint8_t* data, int length) override {
        return length >= 1 ? send(data, length) : MidiResult::kFailed;
    }

private:
    MidiResult send(const uint8_t* data, int length) {
        std::lock_guard<std::mutex> hold(port_->mutex);
        if (!port_->plugged || port_->generation != generation_)
            return MidiResult::kClosed;
        port_->sent.emplace_back(data, data + length);
        return MidiResult::kOk;
    }

    std::shared_ptr<FakeMidiSystem::Port> port_;
    const int generation_;
};

} // namespace

FakeMidiSystem::FakeMidiSystem() = default;
FakeMidiSystem::~FakeMidiSystem() = default;

std::vector<MidiPortInfo> FakeMidiSystem::ports(bool isInput) {
    std::vector<MidiPortInfo> result;
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& port : ports_) {
        std::lock_guard<std::mutex> holdPort(port->mutex);
        if (port->isInput != isInput || !port->plugged)
            continue;
        MidiPortInfo info;
        info.id = port->id;
        info.name = port->name;
        info.manufacturer = port->details.manufacturer;
        info.deviceId = port->details.deviceId;
        info.serialNumber = port->details.serialNumber;
        info.secondaryId = port->details.secondaryId;
        info.isInput = isInput;
        result.push_back(std::move(info));
    }
    return result;
}

std::shared_ptr<FakeMidiSystem::Port> FakeMidiSystem::find(const std::string& id) const {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& port : ports_)
        if (port->id == id)
            return port;
    return nullptr;
}

namespace {
// Checks a port for opening; the port's mutex is held.
MidiResult checkOpenable(const FakeMidiSystem::Port* port, bool isInput, std::string& error) {
    if (!port || port->isInput != isInput || !port->plugged) {
        error = "no such port";
        return MidiResult::kNoSuchPort;
    }
    if (port->inUse || port->open) {
        error = "port in use by another client";
        return MidiResult::kInUse;
    }
    return MidiResult::kOk;
}
} // namespace

MidiResult FakeMidiSystem::openInput(const std::string& id, MidiInputCallback& callback,
                                     std::unique_ptr<MidiInputPort>& port, std::string& error) {
    const std::shared_ptr<Port> found = find(id);
    if (!found) {
        error = "no such port";
        return MidiResult::kNoSuchPort;
    }
    std::lock_guard<std::mutex> feeding(found->feedMutex);
    std::lock_guard<std::mutex> hold(found->mutex);
    const MidiResult result = checkOpenable(found.get(), true, error);
    if (result != MidiResult::kOk)
        return result;
    found->open = true;
    ++found->openCount;
    found->callback = &callback;
    port = std::make_unique<FakeInputPort>(found, ++found->generation);
    return MidiResult::kOk;
}

MidiResult FakeMidiSystem::openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                                      std::string& error) {
    const std::shared_ptr<Port> found = find(id);
    if (!found) {
        error = "no such port";
        return MidiResult::kNoSuchPort;
    }
    std::lock_guard<std::mutex> hold(found->mutex);
    const MidiResult result = checkOpenable(found.get(), false, error);
    if (result != MidiResult::kOk)
        return result;
    found->open = true;
    ++found->openCount;
    port = std::make_unique<FakeOutputPort>(found, ++found->generation);
    return MidiResult::kOk;
}

void FakeMidiSystem::setListener(Listener* listener) {
    std::lock_guard<std::mutex> hold(listenerMutex_);
    listener_ = listener;
}

void FakeMidiSystem::notify() {
    std::lock_guard<std::mutex> hold(listenerMutex_);
    if (listener_)
        listener_->midiPortsChanged();
}

std::string FakeMidiSystem::addPort(bool isInput, const std::string& name,
                                    const PortDetails& details) {
    std::string id;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (const auto& port : ports_) {
            std::lock_guard<std::mutex> holdPort(port->mutex);
            if (!port->plugged && port->isInput == isInput && port->name == name) {
                port->plugged = true;
                port->details = details;
                id = port->id;
                break;
            }
        }
        if (id.empty()) {
            auto port = std::make_shared<Port>();
            port->id = "fake:" + std::to_string(nextId_++);
            port->isInput = isInput;
            port->name = name;
            port->details = details;
            id = port->id;
            ports_.push_back(std::move(port));
        }
    }
    notify();
    return id;
}

MidiInputCallback* FakeMidiSystem::detachInput(Port& port, bool unplug) {
    std::lock_guard<std::mutex> feeding(port.feedMutex);
    std::lock_guard<std::mutex> hold(port.mutex);
    MidiInputCallback* callback = port.callback;
    port.callback = nullptr;
    if (unplug) {
        port.plugged = false;
        port.open = false;
    }
    return callback;
}

bool FakeMidiSystem::removePort(const std::string& id) {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return false;
    {
        std::lock_guard<std::mutex> hold(port->mutex);
        if (!port->plugged)
            return false;
    }
    // Told outside the locks: the owner may close the port from inside.
    if (MidiInputCallback* callback = detachInput(*port, true))
        callback->midiInputLost(true, "port vanished");
    notify();
    return true;
}

bool FakeMidiSystem::failPort(const std::string& id) {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return false;
    MidiInputCallback* callback = detachInput(*port, false);
    if (callback)
        callback->midiInputLost(false, "port failed");
    return callback != nullptr;
}

void FakeMidiSystem::setInUse(const std::string& id, bool inUse) {
    if (const std::shared_ptr<Port> port = find(id)) {
        std::lock_guard<std::mutex> hold(port->mutex);
        port->inUse = inUse;
    }
}

bool FakeMidiSystem::feed(const std::string& id, const uint8_t* data, int length,
                          int64_t timestamp) {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return false;
    std::lock_guard<std::mutex> feeding(port->feedMutex);
    if (!port->callback)
        return false;
    port->callback->midiInput(data, length, timestamp);
    return true;
}

std::vector<uint8_t> FakeMidiSystem::sentBytes(const std::string& id) const {
    std::vector<uint8_t> bytes;
    for (const auto& block : sentBlocks(id))
        bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

std::vector<std::vector<uint8_t>> FakeMidiSystem::sentBlocks(const std::string& id) const {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return {};
    std::lock_guard<std::mutex> hold(port->mutex);
    return port->sent;
}

void FakeMidiSystem::clearSent(const std::string& id) {
    if (const std::shared_ptr<Port> port = find(id)) {
        std::lock_guard<std::mutex> hold(port->mutex);
        port->sent.clear();
    }
}

bool FakeMidiSystem::isOpen(const std::string& id) const {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return false;
    std::lock_guard<std::mutex> hold(port->mutex);
    return port->open;
}

int FakeMidiSystem::openCount(const std::string& id) const {
    const std::shared_ptr<Port> port = find(id);
    if (!port)
        return 0;
    std::lock_guard<std::mutex> hold(port->mutex);
    return port->openCount;
}

} // namespace Platform
