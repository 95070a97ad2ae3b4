#pragma once

#include "platform/MidiSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace Platform {

// Which backend serves the system's MIDI ports: the setting and the --midi option.
enum class SystemMidiChoice { kAuto, kJack, kAlsa };

// "auto", "jack" or "alsa"; false (choice untouched) for anything else.
bool parseSystemMidiChoice(const std::string& text, SystemMidiChoice& choice);

// The chosen backend with its client named clientName; auto takes JACK when a server answers,
// else the ALSA sequencer. Null when the choice has nothing to work with: the engine then runs
// without system ports. logLine tells which backend was taken, or why none.
std::unique_ptr<MidiSystem> createSystemMidi(SystemMidiChoice choice, const std::string& clientName,
                                             std::string& logLine);

// The backend's ports as lines for a listing: "IN  <name>" then "OUT <name>", each with
// " (<other name>)" where the port has one.
std::vector<std::string> describeMidiPorts(MidiSystem& system);

} // namespace Platform
