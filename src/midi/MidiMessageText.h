#pragma once

#include "foundation/VString.h"

#include <cstdint>

namespace Tr {

// Human-readable texts of MIDI data: the friendly description of a raw MIDI string (hexadecimal
// pairs mixed with variable names, e.g. "B0 07 pp") and the short byte texts of log lines.
// Pure functions, callable on any thread; every one of them allocates (logging paths only).

// "C4" for 60, "C-1" for 0: the name of note % 12 and the octave note / 12 - 1.
Vorn::VString midiNoteName(int note);
// The name of a controller 0-127; empty for unnamed numbers and anything outside.
const char* midiControllerName(int controller);

// The text split into pairs separated by single spaces ("904060" gives "90 40 60"); an odd
// last character stands alone.
Vorn::VString spacedPairs(const Vorn::VString& text);

// "Note On ch.1: C4 (#60), vel 127" and the like, message by message, joined with " - ". What
// cannot be described ends the text as its remaining pairs. Blanks are ignored. Falls back to
// "MIDI " and the spaced pairs when nothing could be described.
Vorn::VString friendlyMidiDescription(const Vorn::VString& raw);

// The log text of a message: "MIDI 90 3C 40" below 4 bytes, else "MIDI 5 bytes F0 43 10 20 F7",
// showing at most 20 bytes (the first 19, "...", the last).
Vorn::VString midiBytesText(const uint8_t* data, int length);

} // namespace Tr
