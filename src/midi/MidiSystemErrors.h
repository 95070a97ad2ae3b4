#pragma once

#include "foundation/VString.h"
#include "platform/MidiSystem.h"

#include <string>

namespace Tr {

// The text of a failed open: a port held by another program gets the familiar sentence, any
// other failure the backend's own text.
Vorn::VString midiOpenErrorText(Platform::MidiResult result, const std::string& backendText);

} // namespace Tr
