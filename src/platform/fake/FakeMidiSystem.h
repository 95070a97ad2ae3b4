#pragma once

#include "platform/MidiSystem.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Platform {

// In-process MIDI ports for tests: a test creates ports, makes them vanish and reappear
// (hot-plug), feeds bytes into open inputs (on its own thread, which becomes the input thread)
// and reads back what was sent to outputs. Thread-safe like a real backend.
class FakeMidiSystem final : public MidiSystem {
public:
    // Extra fields of a port beyond its name.
    struct PortDetails {
        std::string manufacturer;
        std::string deviceId;
        std::string serialNumber;
        std::string secondaryId;
    };

    FakeMidiSystem();
    ~FakeMidiSystem() override;

    // MidiSystem
    std::string backendName() const override { return "fake"; }
    std::vector<MidiPortInfo> ports(bool isInput) override;
    MidiResult openInput(const std::string& id, MidiInputCallback& callback,
                         std::unique_ptr<MidiInputPort>& port, std::string& error) override;
    MidiResult openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                          std::string& error) override;
    void setListener(Listener* listener) override;

    // Adds a port (plugged in) and tells the listener; returns its id. A port that vanished
    // comes back under the same id when added again with the same name and direction.
    std::string addPort(bool isInput, const std::string& name,
                        const PortDetails& details = PortDetails());
    // The port vanishes: an open input is told it is lost, sends to an open output fail with
    // kClosed; the listener is told. False when no such port is plugged in.
    bool removePort(const std::string& id);
    // The port fails while open but stays listed: an open input is told it is lost (not
    // vanished). False when the input is not open.
    bool failPort(const std::string& id);
    // While set, opening the port fails with kInUse ("port in use by another client").
    void setInUse(const std::string& id, bool inUse);

    // Delivers one block to the open input on the calling thread, time-stamped with now (or the
    // given time). False when the port is not open.
    bool feed(const std::string& id, const uint8_t* data, int length, int64_t timestamp = -1);
    bool feed(const std::string& id, const std::vector<uint8_t>& bytes) {
        return feed(id, bytes.data(), static_cast<int>(bytes.size()));
    }

    // What the output received: all bytes in order, or each send as its own block.
    std::vector<uint8_t> sentBytes(const std::string& id) const;
    std::vector<std::vector<uint8_t>> sentBlocks(const std::string& id) const;
    void clearSent(const std::string& id);

    bool isOpen(const std::string& id) const;
    // How many times the port was opened successfully.
    int openCount(const std::string& id) const;

    struct Port; // shared with the open port objects

private:
    std::shared_ptr<Port> find(const std::string& id) const;
    // Takes the open input's callback away; null when none.
    static MidiInputCallback* detachInput(Port& port, bool unplug);
    void notify();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Port>> ports_; // in creation order, vanished ones included
    int nextId_ = 1;
    std::mutex listenerMutex_; // held while the listener is called
    Listener* listener_ = nullptr;
};

} // namespace Platform
