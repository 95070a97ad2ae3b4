#include "platform/linux/AlsaSequencerMidiSystem.h"

#include <RtMidi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int kWatchMillis = 500;

void addNames(RtMidi& probe, const std::string& clientName, std::vector<std::string>& names) {
    const unsigned count = probe.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string name = probe.getPortName(i);
        if (!name.empty() && name.rfind(clientName, 0) != 0) // the engine's own ports
            names.push_back(name);
    }
}

// The port names RtMidi lists for one direction; empty when the sequencer does not answer.
std::vector<std::string> listNames(bool isInput, const std::string& clientName) {
    std::vector<std::string> names;
    try {
        if (isInput) {
            RtMidiIn probe(RtMidi::LINUX_ALSA, clientName + " list");
            addNames(probe, clientName, names);
        } else {
            RtMidiOut probe(RtMidi::LINUX_ALSA, clientName + " list");
            addNames(probe, clientName, names);
        }
    } catch (const RtMidiError&) {
        names.clear();
    }
    return names;
}

int indexOf(RtMidi& midi, const std::string& id) {
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (midi.getPortName(i) == id)
            return static_cast<int>(i);
    return -1;
}

} // namespace

struct AlsaSequencerMidiSystem::State {
    std::string clientName;
    bool available = false;

    std::mutex mutex; // the open inputs, the last lists
    struct OpenInput {
        std::string id;
        MidiInputCallback* callback;
        bool told;
    };
    std::vector<OpenInput*> inputs;
    std::vector<std::string> lastIn, lastOut;

    std::mutex listenerMutex;
    Listener* listener = nullptr;

    std::mutex watchMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread watcher;

    void watch() {
        std::unique_lock<std::mutex> lock(watchMutex);
        while (!stopping) {
            wake.wait_for(lock, std::chrono::milliseconds(kWatchMillis));
            if (stopping)
                break;
            lock.unlock();
            look();
            lock.lock();
        }
    }
    void look() {
        std::vector<std::string> in = listNames(true, clientName);
        std::vector<std::string> out = listNames(false, clientName);
        bool changed = false;
        {
            std::lock_guard<std::mutex> hold(mutex);
            changed = in != lastIn || out != lastOut;
            lastIn = in;
            lastOut = out;
            for (OpenInput* input : inputs) {
                if (!input->told && std::find(in.begin(), in.end(), input->id) == in.end()) {
                    input->told = true;
                    input->callback->midiInputLost(true, "port vanished");
                }
            }
        }
        if (changed) {
            std::lock_guard<std::mutex> hold(listenerMutex);
            if (listener)
                listener->midiPortsChanged();
        }
    }
};

namespace {

class AlsaInputPort final : public MidiInputPort {
public:
    AlsaInputPort(std::shared_ptr<AlsaSequencerMidiSystem::State> state,
                  std::unique_ptr<RtMidiIn> midi, const std::string& id,
                  MidiInputCallback& callback)
        : state_(std::move(state)), midi_(std::move(midi)), open_{id, &callback, false} {
        std::lock_guard<std::mutex> hold(state_->mutex);
        state_->inputs.push_back(&open_);
    }
    ~AlsaInputPort() override {
        midi_->closePort(); // joins the reader
        std::lock_guard<std::mutex> hold(state_->mutex);
        state_->inputs.erase(std::find(state_->inputs.begin(), state_->inputs.end(), &open_));
    }

    static void deliver(double, std::vector<unsigned char>* message, void* self) {
        auto* input = static_cast<MidiInputCallback*>(self);
        if (message && !message->empty())
            input->midiInput(message->data(), static_cast<int>(message->size()), -1);
    }

private:
    std::shared_ptr<AlsaSequencerMidiSystem::State> state_;
    std::unique_ptr<RtMidiIn> midi_;
    AlsaSequencerMidiSystem::State::OpenInput open_;
};

class AlsaOutputPort final : public MidiOutputPort {
public:
    explicit AlsaOutputPort(std::unique_ptr<RtMidiOut> midi) : midi_(std::move(midi)) {}

    MidiResult sendShort(const uint8_t* data, int length) override { return send(data, length); }
    MidiResult sendLong(const uint8_t* data, int length) override { return send(data, length); }

private:
    MidiResult send(const uint8_t* data, int length) {
        if (!data || length <= 0)
            return MidiResult::kFailed;
        std::lock_guard<std::mutex> hold(mutex_);
        try {
            midi_->sendMessage(data, static_cast<size_t>(length));
        } catch (const RtMidiError&) {
            return MidiResult::kFailed;
        }
        return MidiResult::kOk;
    }

    std::mutex mutex_;
    std::unique_ptr<RtMidiOut> midi_;
};

} // namespace

AlsaSequencerMidiSystem::AlsaSequencerMidiSystem(const std::string& clientName)
    : state_(std::make_shared<State>()) {
    state_->clientName = clientName;
    state_->available = sequencerAnswers();
    if (!state_->available)
        return;
    state_->lastIn = listNames(true, clientName);
    state_->lastOut = listNames(false, clientName);
    state_->watcher = std::thread([state = state_.get()] { state->watch(); });
}

AlsaSequencerMidiSystem::~AlsaSequencerMidiSystem() {
    {
        std::lock_guard<std::mutex> hold(state_->watchMutex);
        state_->stopping = true;
        state_->wake.notify_all();
    }
    if (state_->watcher.joinable())
        state_->watcher.join();
}

bool AlsaSequencerMidiSystem::sequencerAnswers() {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0)
        return false;
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, "Corvane probe");
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

bool AlsaSequencerMidiSystem::isAvailable() const {
    return state_->available;
}

std::vector<MidiPortInfo> AlsaSequencerMidiSystem::ports(bool isInput) {
    std::vector<MidiPortInfo> result;
    if (!state_->available)
        return result;
    for (const std::string& name : listNames(isInput, state_->clientName)) {
        MidiPortInfo info;
        info.id = name;
        info.name = name;
        info.isInput = isInput;
        result.push_back(std::move(info));
    }
    return result;
}

MidiResult AlsaSequencerMidiSystem::openInput(const std::string& id, MidiInputCallback& callback,
                                              std::unique_ptr<MidiInputPort>& port,
                                              std::string& error) {
    if (!state_->available) {
        error = "no ALSA sequencer";
        return MidiResult::kFailed;
    }
    try {
        auto midi = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, state_->clientName);
        const int index = indexOf(*midi, id);
        if (index < 0) {
            error = "no such sequencer port";
            return MidiResult::kNoSuchPort;
        }
        midi->ignoreTypes(false, false, false);
        midi->setCallback(&AlsaInputPort::deliver, &callback);
        midi->openPort(static_cast<unsigned>(index), "in");
        port = std::make_unique<AlsaInputPort>(state_, std::move(midi), id, callback);
    } catch (const RtMidiError& failure) {
        error = failure.getMessage();
        return MidiResult::kFailed;
    }
    return MidiResult::kOk;
}

MidiResult AlsaSequencerMidiSystem::openOutput(const std::string& id,
                                               std::unique_ptr<MidiOutputPort>& port,
                                               std::string& error) {
    if (!state_->available) {
        error = "no ALSA sequencer";
        return MidiResult::kFailed;
    }
    try {
        auto midi = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, state_->clientName);
        const int index = indexOf(*midi, id);
        if (index < 0) {
            error = "no such sequencer port";
            return MidiResult::kNoSuchPort;
        }
        midi->openPort(static_cast<unsigned>(index), "out");
        port = std::make_unique<AlsaOutputPort>(std::move(midi));
    } catch (const RtMidiError& failure) {
        error = failure.getMessage();
        return MidiResult::kFailed;
    }
    return MidiResult::kOk;
}

void AlsaSequencerMidiSystem::setListener(Listener* listener) {
    std::lock_guard<std::mutex> hold(state_->listenerMutex);
    state_->listener = listener;
}

} // namespace Platform
