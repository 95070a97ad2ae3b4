#include "midi/MidiManagerDev.h"

#include "midi/MidiDeviceFactory.h"
#include "midi/MidiOutputBase.h"

namespace Tr {

using Vorn::VString;

namespace {
char flag(bool value) {
    return value ? 'T' : 'F';
}

// The type code at position as 8 hexadecimal digits; false when they are not all there.
bool readTypeCode(const VString& options, int position, uint32_t& code) {
    if (options.length() < position + 8)
        return false;
    uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
        const char c = options.charAt(position + i);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value << 4 | uint32_t(digit);
    }
    code = value;
    return true;
}

// Positions virtualAt and virtualAt + 1 ("VMID", "IntM") stand in for a missing type code.
uint32_t kindFrom(const VString& options, int virtualAt) {
    uint32_t code = MidiDeviceFactory::kTypeSystem;
    if (readTypeCode(options, virtualAt + 2, code))
        return code;
    if (options.charAt(virtualAt) == 'T')
        return MidiDeviceFactory::kTypeVirtual;
    if (options.charAt(virtualAt + 1) == 'T')
        return MidiDeviceFactory::kTypeInternal;
    return MidiDeviceFactory::kTypeSystem;
}

void appendKind(VString& text, uint32_t typeCode) {
    text += flag(typeCode == MidiDeviceFactory::kTypeVirtual);
    text += flag(typeCode == MidiDeviceFactory::kTypeInternal);
    text += VString::format("%08X", typeCode);
}
} // namespace

MidiManagerDev::MidiManagerDev(int slot, bool isInput, const VString& displayName,
                               uint32_t typeCode)
    : slot_(slot), isInput_(isInput), displayName_(displayName), typeCode_(typeCode) {}

MidiManagerDev::~MidiManagerDev() {
    dropDevice();
}

bool MidiManagerDev::isOpen() const {
    return device_ && device_->isOpen();
}

bool MidiManagerDev::createDevice(MidiDeviceFactory& factory,
                                  MidiInputBase::DataListener* /*listener*/) {
    if (device_)
        return true;
    if (!descriptor_)
        return false;
    device_ = factory.createDevice(*descriptor_);
    if (!device_)
        return false;
    device_->setSlot(slot_);
    return true;
}

void MidiManagerDev::dropDevice() {
    if (!device_)
        return;
    device_->close();
    device_.reset();
}

MMDevIn::MMDevIn(int slot, const VString& displayName, uint32_t typeCode)
    : MidiManagerDev(slot, true, displayName, typeCode) {}

MidiInputBase* MMDevIn::input() const {
    return static_cast<MidiInputBase*>(device_.get());
}

bool MMDevIn::createDevice(MidiDeviceFactory& factory, MidiInputBase::DataListener* listener) {
    const bool existed = device_ != nullptr;
    if (!MidiManagerDev::createDevice(factory, listener))
        return false;
    if (!existed) {
        MidiInputBase* in = input();
        in->setDataListener(listener);
        in->setPassTimingClock(passTimingClock());
        in->setPassActiveSensing(passActiveSensing());
    }
    return true;
}

void MMDevIn::setPassTimingClock(bool pass) {
    passTimingClock_.store(pass);
    if (MidiInputBase* in = input())
        in->setPassTimingClock(pass);
}

void MMDevIn::setPassActiveSensing(bool pass) {
    passActiveSensing_.store(pass);
    if (MidiInputBase* in = input())
        in->setPassActiveSensing(pass);
}

void MMDevIn::resetPassFlags() {
    setPassTimingClock(true);
    setPassActiveSensing(false);
}

VString MMDevIn::optionsText() const {
    VString text;
    text += flag(passActiveSensing());
    text += flag(passTimingClock());
    appendKind(text, typeCode());
    text += flag(isPendingOrOpen());
    return text;
}

void MMDevIn::readOptions(const VString& options) {
    if (options.length() > 0)
        setPassActiveSensing(options.charAt(0) == 'T');
    if (options.length() > 1)
        setPassTimingClock(options.charAt(1) == 'T');
    setTypeCode(kindFrom(options, 2));
    setPending(options.length() <= 12 || options.charAt(12) == 'T');
}

MMDevOut::MMDevOut(int slot, const VString& displayName, uint32_t typeCode)
    : MidiManagerDev(slot, false, displayName, typeCode) {}

MidiOutputBase* MMDevOut::output() const {
    return static_cast<MidiOutputBase*>(device_.get());
}

VString MMDevOut::optionsText() const {
    VString text;
    appendKind(text, typeCode());
    text += flag(isPendingOrOpen());
    return text;
}

void MMDevOut::readOptions(const VString& options) {
    setTypeCode(kindFrom(options, 0));
    setPending(options.length() <= 10 || options.charAt(10) == 'T');
}

} // namespace Tr
