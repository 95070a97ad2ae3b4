#include "platform/linux/SystemMidiChoice.h"

#include "platform/linux/AlsaSequencerMidiSystem.h"
#include "platform/linux/JackMidiSystem.h"

namespace Platform {

bool parseSystemMidiChoice(const std::string& text, SystemMidiChoice& choice) {
    if (text == "auto")
        choice = SystemMidiChoice::kAuto;
    else if (text == "jack")
        choice = SystemMidiChoice::kJack;
    else if (text == "alsa")
        choice = SystemMidiChoice::kAlsa;
    else
        return false;
    return true;
}

std::unique_ptr<MidiSystem> createSystemMidi(SystemMidiChoice choice, const std::string& clientName,
                                             std::string& logLine) {
    const bool jack = choice != SystemMidiChoice::kAlsa && JackMidiSystem::serverAnswers();
    if (jack || choice == SystemMidiChoice::kJack) {
        JackMidiSystem::Options options;
        options.clientName = clientName;
        auto system = std::make_unique<JackMidiSystem>(options);
        logLine = jack ? "System MIDI: JACK, client \"" + system->clientName() + "\"."
                       : "System MIDI: no JACK server answers; waiting for one.";
        return system;
    }
    if (AlsaSequencerMidiSystem::sequencerAnswers()) {
        logLine = "System MIDI: ALSA sequencer.";
        return std::make_unique<AlsaSequencerMidiSystem>(clientName);
    }
    logLine = choice == SystemMidiChoice::kAlsa
                  ? "No system MIDI ports: the ALSA sequencer does not answer."
                  : "No system MIDI ports: neither a JACK server nor the ALSA sequencer answers.";
    return nullptr;
}

std::vector<std::string> describeMidiPorts(MidiSystem& system) {
    std::vector<std::string> lines;
    for (bool isInput : {true, false}) {
        for (const MidiPortInfo& info : system.ports(isInput)) {
            std::string line = (isInput ? "IN  " : "OUT ") + info.name;
            if (!info.secondaryId.empty())
                line += " (" + info.secondaryId + ")";
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

} // namespace Platform
