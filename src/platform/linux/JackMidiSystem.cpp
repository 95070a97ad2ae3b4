#include "platform/linux/JackMidiSystem.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace Platform {

namespace {

constexpr int kMaxPorts = 64;          // open ports of each direction
constexpr size_t kRingBytes = 1 << 16; // sends from other threads waiting for the next cycle
constexpr int kStageEvents = 2048;     // events one output writes in one cycle
constexpr size_t kStageBytes = 1 << 16;
constexpr int kLinkRetryMillis = 20; // connecting to a peer that is not active yet

enum SlotState : int { kFree = 0, kBusy, kLive };

struct RingHeader {
    uint32_t length;
    uint32_t frame; // client frame time of the send
};

// One output's events of the current cycle, gathered before they are written in time order.
struct Stage {
    struct Event {
        uint32_t offset;
        uint32_t start;
        uint32_t length;
    };
    std::array<Event, kStageEvents> events;
    std::array<uint8_t, kStageBytes> bytes;
    int count = 0;
    size_t used = 0;

    void clear() {
        count = 0;
        used = 0;
    }
    bool add(uint32_t offset, const uint8_t* data, size_t length) {
        uint8_t* place = reserve(offset, length);
        if (place)
            std::memcpy(place, data, length);
        return place != nullptr;
    }
    // Room for one event of length bytes at offset; null when the cycle is full.
    uint8_t* reserve(uint32_t offset, size_t length) {
        if (count == kStageEvents || length > kStageBytes - used)
            return nullptr;
        uint8_t* place = bytes.data() + used;
        // keep time order, arrivals of one offset in the order they came
        int at = count;
        while (at > 0 && events[at - 1].offset > offset) {
            events[at] = events[at - 1];
            --at;
        }
        events[at] = Event{offset, static_cast<uint32_t>(used), static_cast<uint32_t>(length)};
        ++count;
        used += length;
        return place;
    }
};

struct InputSlot {
    std::atomic<int> state{kFree};
    std::atomic<bool> delivering{false}; // cleared once the input is lost
    std::atomic<int> telling{0};         // threads telling the callback it is lost
    bool linked = false;                 // connected to its source; under the state's mutex
    jack_port_t* port = nullptr;
    MidiInputCallback* callback = nullptr;
    std::string source;
};

struct OutputSlot {
    std::atomic<int> state{kFree};
    std::atomic<bool> closed{false};
    bool linked = false; // connected to its target; under the state's mutex
    jack_port_t* port = nullptr;
    std::string target;
    jack_ringbuffer_t* ring = nullptr;
    std::mutex senders; // only between threads other than the process thread
    Stage stage;        // process thread only
};

// Set on the process thread while an input event is delivered: where inline sends go.
struct Cycle {
    JackMidiSystem::State* state;
    jack_nframes_t frames;
    uint32_t offset;
};
thread_local Cycle* currentCycle = nullptr;

std::string portShortName(const std::string& prefix, const std::string& id) {
    std::string name = prefix;
    for (char c : id)
        name += c == ':' ? '_' : c;
    return name;
}

} // namespace

struct JackMidiSystem::State {
    explicit State(const Options& opts) : options(opts) {}

    const Options options;
    mutable std::mutex mutex; // client, slots' set-up; never taken on the process thread
    std::atomic<jack_client_t*> client{nullptr}; // set under mutex, read anywhere
    std::string ownName;
    std::atomic<bool> alive{false};
    std::atomic<uint64_t> cycleSeq{0}; // odd while a cycle runs
    std::array<InputSlot, kMaxPorts> inputs;
    std::array<OutputSlot, kMaxPorts> outputs;

    std::mutex listenerMutex;
    Listener* listener = nullptr;

    // The supervisor thread: handles the loss of the server and reconnects.
    std::mutex superMutex;
    std::condition_variable wake;
    bool stopping = false;
    bool serverLost = false;
    std::thread supervisor;

    bool connect();
    void disconnectLocked();
    void notify() {
        std::lock_guard<std::mutex> hold(listenerMutex);
        if (listener)
            listener->midiPortsChanged();
    }
    // Returns once no cycle that may have seen a slot before its change still runs.
    void waitForCycle() {
        const uint64_t seq = cycleSeq.load();
        if (!(seq & 1) || !alive.load())
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (cycleSeq.load() == seq && alive.load() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    void loseAll(const std::string& reason);
    // Tells the input it is lost unless it was told already or is being closed.
    void tellLost(InputSlot& slot, const std::string& reason) {
        slot.telling.fetch_add(1);
        if (slot.delivering.exchange(false))
            slot.callback->midiInputLost(true, reason);
        slot.telling.fetch_sub(1);
    }
    // Connects the open ports not yet connected (a peer lists its ports before it activates,
    // and JACK refuses connections to inactive clients); true while some still wait.
    bool linkLocked();
    void releaseInputLocked(int index);
    void releaseOutputLocked(int index);
    void runSupervisor();
    int process(jack_nframes_t frames);
    void portRegistered(jack_port_id_t id, int registered);

    static int processThunk(jack_nframes_t frames, void* arg) {
        return static_cast<State*>(arg)->process(frames);
    }
    static void registrationThunk(jack_port_id_t id, int registered, void* arg) {
        static_cast<State*>(arg)->portRegistered(id, registered);
    }
    static void shutdownThunk(jack_status_t, const char*, void* arg) {
        State* state = static_cast<State*>(arg);
        state->alive.store(false);
        std::lock_guard<std::mutex> hold(state->superMutex);
        state->serverLost = true;
        state->wake.notify_all();
    }
};

namespace {

class JackInputPort final : public MidiInputPort {
public:
    JackInputPort(std::shared_ptr<JackMidiSystem::State> state, int slot)
        : state_(std::move(state)), slot_(slot) {}
    ~JackInputPort() override {
        std::lock_guard<std::mutex> hold(state_->mutex);
        state_->releaseInputLocked(slot_);
    }

private:
    std::shared_ptr<JackMidiSystem::State> state_;
    const int slot_;
};

class JackOutputPort final : public MidiOutputPort {
public:
    JackOutputPort(std::shared_ptr<JackMidiSystem::State> state, int slot)
        : state_(std::move(state)), slot_(slot) {}
    ~JackOutputPort() override {
        std::lock_guard<std::mutex> hold(state_->mutex);
        state_->releaseOutputLocked(slot_);
    }

    MidiResult sendShort(const uint8_t* data, int length) override { return send(data, length); }
    MidiResult sendLong(const uint8_t* data, int length) override { return send(data, length); }

private:
    MidiResult send(const uint8_t* data, int length) {
        OutputSlot& slot = state_->outputs[slot_];
        if (!data || length <= 0)
            return MidiResult::kFailed;
        if (slot.closed.load() || !state_->alive.load())
            return MidiResult::kClosed;
        Cycle* cycle = currentCycle;
        if (cycle && cycle->state == state_.get())
            return slot.stage.add(cycle->offset, data, static_cast<size_t>(length))
                       ? MidiResult::kOk
                       : MidiResult::kFailed;
        jack_client_t* client = state_->client.load();
        if (!client)
            return MidiResult::kClosed;
        const RingHeader header{static_cast<uint32_t>(length),
                                static_cast<uint32_t>(jack_frame_time(client))};
        std::lock_guard<std::mutex> hold(slot.senders);
        if (jack_ringbuffer_write_space(slot.ring) < sizeof header + static_cast<size_t>(length))
            return MidiResult::kFailed;
        jack_ringbuffer_write(slot.ring, reinterpret_cast<const char*>(&header), sizeof header);
        jack_ringbuffer_write(slot.ring, reinterpret_cast<const char*>(data),
                              static_cast<size_t>(length));
        return MidiResult::kOk;
    }

    std::shared_ptr<JackMidiSystem::State> state_;
    const int slot_;
};

} // namespace

void JackMidiSystem::State::releaseInputLocked(int index) {
    InputSlot& slot = inputs[index];
    slot.delivering.store(false);
    while (slot.telling.load() > 0)
        std::this_thread::yield();
    slot.state.store(kBusy);
    waitForCycle();
    if (slot.port && client.load())
        jack_port_unregister(client.load(), slot.port);
    slot.port = nullptr;
    slot.callback = nullptr;
    slot.state.store(kFree);
}

void JackMidiSystem::State::releaseOutputLocked(int index) {
    OutputSlot& slot = outputs[index];
    slot.state.store(kBusy);
    waitForCycle();
    if (slot.port && client.load())
        jack_port_unregister(client.load(), slot.port);
    slot.port = nullptr;
    jack_ringbuffer_free(slot.ring);
    slot.ring = nullptr;
    slot.state.store(kFree);
}

bool JackMidiSystem::State::linkLocked() {
    jack_client_t* own = client.load();
    if (!own || !alive.load())
        return false;
    bool waiting = false;
    for (InputSlot& slot : inputs) {
        if (slot.state.load() == kLive && !slot.linked) {
            const int result = jack_connect(own, slot.source.c_str(), jack_port_name(slot.port));
            slot.linked = result == 0 || result == EEXIST;
            waiting = waiting || !slot.linked;
        }
    }
    for (OutputSlot& slot : outputs) {
        if (slot.state.load() == kLive && !slot.linked) {
            const int result = jack_connect(own, jack_port_name(slot.port), slot.target.c_str());
            slot.linked = result == 0 || result == EEXIST;
            waiting = waiting || !slot.linked;
        }
    }
    return waiting;
}

bool JackMidiSystem::State::connect() {
    jack_status_t status{};
    jack_client_t* opened =
        jack_client_open(options.clientName.c_str(), JackNoStartServer, &status);
    if (!opened)
        return false;
    jack_set_process_callback(opened, &State::processThunk, this);
    jack_set_port_registration_callback(opened, &State::registrationThunk, this);
    jack_on_info_shutdown(opened, &State::shutdownThunk, this);
    {
        std::lock_guard<std::mutex> hold(mutex);
        client = opened;
        ownName = jack_get_client_name(opened);
        alive.store(true);
    }
    if (jack_activate(opened) != 0) {
        std::lock_guard<std::mutex> hold(mutex);
        disconnectLocked();
        return false;
    }
    return true;
}

void JackMidiSystem::State::disconnectLocked() {
    alive.store(false);
    jack_client_t* closing = client.exchange(nullptr);
    if (!closing)
        return;
    jack_client_close(closing);
    // the ports went with the client: the slots wait, never reused, until their owners free them
    for (InputSlot& slot : inputs) {
        slot.port = nullptr;
        if (slot.state.load() == kLive)
            slot.state.store(kBusy);
    }
    for (OutputSlot& slot : outputs) {
        slot.port = nullptr;
        if (slot.state.load() == kLive)
            slot.state.store(kBusy);
    }
    ownName.clear();
}

void JackMidiSystem::State::loseAll(const std::string& reason) {
    for (InputSlot& slot : inputs) {
        if (slot.state.load() == kLive)
            tellLost(slot, reason);
    }
    for (OutputSlot& slot : outputs)
        slot.closed.store(true);
}

void JackMidiSystem::State::runSupervisor() {
    std::unique_lock<std::mutex> lock(superMutex);
    while (!stopping) {
        if (serverLost) {
            serverLost = false;
            lock.unlock();
            loseAll("JACK server stopped");
            notify(); // before the close, which may take a while once the server is gone
            {
                std::lock_guard<std::mutex> hold(mutex);
                disconnectLocked();
            }
            lock.lock();
            continue;
        }
        bool waiting = false;
        {
            lock.unlock();
            std::lock_guard<std::mutex> hold(mutex);
            waiting = linkLocked();
            lock.lock();
        }
        if (waiting) {
            wake.wait_for(lock, std::chrono::milliseconds(kLinkRetryMillis));
            continue;
        }
        if (!alive.load() && options.reconnectMillis > 0) {
            wake.wait_for(lock, std::chrono::milliseconds(options.reconnectMillis));
            if (stopping || serverLost)
                continue;
            lock.unlock();
            const bool connected = connect();
            if (connected)
                notify();
            lock.lock();
            continue;
        }
        wake.wait(lock);
    }
}

int JackMidiSystem::State::process(jack_nframes_t frames) {
    cycleSeq.fetch_add(1);
    const jack_nframes_t cycleStart = jack_last_frame_time(client.load());
    for (OutputSlot& slot : outputs) {
        if (slot.state.load(std::memory_order_acquire) != kLive)
            continue;
        slot.stage.clear();
        RingHeader header{};
        while (jack_ringbuffer_read_space(slot.ring) >= sizeof header) {
            jack_ringbuffer_peek(slot.ring, reinterpret_cast<char*>(&header), sizeof header);
            if (jack_ringbuffer_read_space(slot.ring) < sizeof header + header.length)
                break; // still being written
            jack_ringbuffer_read_advance(slot.ring, sizeof header);
            // a send made d frames into the previous cycle goes out d frames into this one
            const int64_t late = static_cast<int64_t>(header.frame) + frames - cycleStart;
            const uint32_t offset =
                static_cast<uint32_t>(late < 0                               ? 0
                                      : late >= static_cast<int64_t>(frames) ? frames - 1
                                                                             : late);
            if (uint8_t* place = slot.stage.reserve(offset, header.length))
                jack_ringbuffer_read(slot.ring, reinterpret_cast<char*>(place), header.length);
            else
                jack_ringbuffer_read_advance(slot.ring, header.length); // the cycle is full
        }
    }

    Cycle cycle{this, frames, 0};
    currentCycle = &cycle;
    for (InputSlot& slot : inputs) {
        if (slot.state.load(std::memory_order_acquire) != kLive || !slot.delivering.load())
            continue;
        void* buffer = jack_port_get_buffer(slot.port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count && slot.delivering.load(std::memory_order_relaxed); ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0)
                continue;
            cycle.offset = event.time < frames ? event.time : frames - 1;
            slot.callback->midiInput(event.buffer, static_cast<int>(event.size), -1);
        }
    }
    currentCycle = nullptr;

    for (OutputSlot& slot : outputs) {
        if (slot.state.load(std::memory_order_acquire) != kLive)
            continue;
        void* buffer = jack_port_get_buffer(slot.port, frames);
        jack_midi_clear_buffer(buffer);
        const Stage& stage = slot.stage;
        for (int i = 0; i < stage.count; ++i) {
            const Stage::Event& event = stage.events[i];
            jack_midi_event_write(buffer, event.offset, stage.bytes.data() + event.start,
                                  event.length);
        }
        slot.stage.clear();
    }
    cycleSeq.fetch_add(1);
    return 0;
}

void JackMidiSystem::State::portRegistered(jack_port_id_t id, int registered) {
    if (!registered) {
        jack_client_t* own = client.load();
        jack_port_t* port = own ? jack_port_by_id(own, id) : nullptr;
        const char* name = port ? jack_port_name(port) : nullptr;
        if (name) {
            for (InputSlot& slot : inputs) {
                if (slot.state.load() == kLive && slot.source == name)
                    tellLost(slot, "port vanished");
            }
            for (OutputSlot& slot : outputs) {
                if (slot.state.load() == kLive && slot.target == name)
                    slot.closed.store(true);
            }
        }
    }
    notify();
}

JackMidiSystem::JackMidiSystem() : JackMidiSystem(Options()) {}

JackMidiSystem::JackMidiSystem(const Options& options) : state_(std::make_shared<State>(options)) {
    state_->connect();
    state_->supervisor = std::thread([state = state_.get()] { state->runSupervisor(); });
}

JackMidiSystem::~JackMidiSystem() {
    {
        std::lock_guard<std::mutex> hold(state_->superMutex);
        state_->stopping = true;
        state_->wake.notify_all();
    }
    state_->supervisor.join();
    setListener(nullptr);
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->disconnectLocked();
}

bool JackMidiSystem::serverAnswers() {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("corvane-probe", JackNoStartServer, &status);
    if (!probe)
        return false;
    jack_client_close(probe);
    return true;
}

bool JackMidiSystem::isConnected() const {
    return state_->alive.load();
}

std::string JackMidiSystem::clientName() const {
    std::lock_guard<std::mutex> hold(state_->mutex);
    return state_->ownName;
}

std::vector<MidiPortInfo> JackMidiSystem::ports(bool isInput) {
    std::vector<MidiPortInfo> result;
    std::lock_guard<std::mutex> hold(state_->mutex);
    if (!state_->client || !state_->alive.load())
        return result;
    // a MIDI IN of ours reads what another client's output port writes
    const char** names = jack_get_ports(state_->client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        isInput ? JackPortIsOutput : JackPortIsInput);
    if (!names)
        return result;
    const std::string own = state_->ownName + ":";
    const size_t aliasSize = static_cast<size_t>(jack_port_name_size());
    std::vector<char> first(aliasSize), second(aliasSize);
    for (const char** name = names; *name; ++name) {
        if (std::strncmp(*name, own.c_str(), own.size()) == 0)
            continue;
        MidiPortInfo info;
        info.id = *name;
        info.name = *name;
        info.isInput = isInput;
        if (jack_port_t* port = jack_port_by_name(state_->client, *name)) {
            char* aliases[2] = {first.data(), second.data()};
            if (jack_port_get_aliases(port, aliases) > 0)
                info.secondaryId = aliases[0];
        }
        result.push_back(std::move(info));
    }
    jack_free(names);
    return result;
}

MidiResult JackMidiSystem::openInput(const std::string& id, MidiInputCallback& callback,
                                     std::unique_ptr<MidiInputPort>& port, std::string& error) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    if (!state_->client || !state_->alive.load()) {
        error = "no JACK server";
        return MidiResult::kFailed;
    }
    jack_port_t* source = jack_port_by_name(state_->client, id.c_str());
    if (!source || !(jack_port_flags(source) & JackPortIsOutput)) {
        error = "no such JACK port";
        return MidiResult::kNoSuchPort;
    }
    int index = 0;
    while (index < kMaxPorts && state_->inputs[index].state.load() != kFree)
        ++index;
    if (index == kMaxPorts) {
        error = "too many open JACK ports";
        return MidiResult::kFailed;
    }
    InputSlot& slot = state_->inputs[index];
    const std::string shortName = portShortName("in ", id).substr(
        0, static_cast<size_t>(jack_port_name_size()) - state_->ownName.size() - 2);
    slot.port = jack_port_register(state_->client, shortName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsInput, 0);
    if (!slot.port) {
        error = "cannot register a JACK port";
        return MidiResult::kFailed;
    }
    slot.callback = &callback;
    slot.source = id;
    slot.delivering.store(true);
    slot.state.store(kLive, std::memory_order_release);
    slot.linked = false;
    if (state_->linkLocked())
        wakeSupervisor();
    port = std::make_unique<JackInputPort>(state_, index);
    return MidiResult::kOk;
}

MidiResult JackMidiSystem::openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                                      std::string& error) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    if (!state_->client || !state_->alive.load()) {
        error = "no JACK server";
        return MidiResult::kFailed;
    }
    jack_port_t* target = jack_port_by_name(state_->client, id.c_str());
    if (!target || !(jack_port_flags(target) & JackPortIsInput)) {
        error = "no such JACK port";
        return MidiResult::kNoSuchPort;
    }
    int index = 0;
    while (index < kMaxPorts && state_->outputs[index].state.load() != kFree)
        ++index;
    if (index == kMaxPorts) {
        error = "too many open JACK ports";
        return MidiResult::kFailed;
    }
    OutputSlot& slot = state_->outputs[index];
    const std::string shortName =
        portShortName("out ", id)
            .substr(0, static_cast<size_t>(jack_port_name_size()) - state_->ownName.size() - 2);
    slot.port = jack_port_register(state_->client, shortName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsOutput, 0);
    if (!slot.port) {
        error = "cannot register a JACK port";
        return MidiResult::kFailed;
    }
    slot.ring = jack_ringbuffer_create(kRingBytes);
    slot.target = id;
    slot.closed.store(false);
    slot.stage.clear();
    slot.state.store(kLive, std::memory_order_release);
    slot.linked = false;
    if (state_->linkLocked())
        wakeSupervisor();
    port = std::make_unique<JackOutputPort>(state_, index);
    return MidiResult::kOk;
}

void JackMidiSystem::wakeSupervisor() {
    std::lock_guard<std::mutex> hold(state_->superMutex);
    state_->wake.notify_all();
}

void JackMidiSystem::setListener(Listener* listener) {
    std::lock_guard<std::mutex> hold(state_->listenerMutex);
    state_->listener = listener;
}

} // namespace Platform
