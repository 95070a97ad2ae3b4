#include "midi/MidiSystemOutput.h"

#include "midi/MidiStreamParser.h"
#include "midi/MidiSystemDescriptor.h"
#include "midi/MidiSystemErrors.h"

namespace Tr {

MidiSystemOutput::MidiSystemOutput(MidiDeviceFactory* factory, Platform::MidiSystem& system,
                                   const MidiSystemDescriptor& descriptor)
    : MidiOutputBase(factory, descriptor), system_(system), portId_(descriptor.portId) {}

MidiSystemOutput::~MidiSystemOutput() {
    close();
}

bool MidiSystemOutput::openPort(Vorn::VString& error) {
    std::string text;
    const Platform::MidiResult result = system_.openOutput(portId_, port_, text);
    if (result != Platform::MidiResult::kOk) {
        error = midiOpenErrorText(result, text);
        return false;
    }
    setConnected(true);
    return true;
}

void MidiSystemOutput::closePort() {
    port_.reset();
}

int MidiSystemOutput::send(const uint8_t* data, int length) {
    if (!port_ || !data || length <= 0)
        return 0;
    const bool isShort = length <= 3 && MidiStreamParser::messageLength(data[0]) == length;
    const Platform::MidiResult result =
        isShort ? port_->sendShort(data, length) : port_->sendLong(data, length);
    return result == Platform::MidiResult::kOk ? 1 : 0;
}

} // namespace Tr
