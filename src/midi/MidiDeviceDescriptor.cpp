#include "midi/MidiDeviceDescriptor.h"

#include "midi/MidiPortNames.h"

#include <algorithm>
#include <vector>

namespace Tr {

using Vorn::VString;

namespace {
// Length of the longest run of characters that a and b share.
int longestCommonRun(const VString& a, const VString& b) {
    const int n = a.length();
    const int m = b.length();
    std::vector<int> previous(static_cast<size_t>(m) + 1, 0);
    std::vector<int> current(static_cast<size_t>(m) + 1, 0);
    int best = 0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            current[j] = a.charAt(i - 1) == b.charAt(j - 1) ? previous[j - 1] + 1 : 0;
            best = std::max(best, current[j]);
        }
        std::swap(previous, current);
    }
    return best;
}

bool differentFactories(const MidiDeviceDescriptor& a, const MidiDeviceDescriptor& b) {
    return a.factory && b.factory && a.factory != b.factory;
}
} // namespace

MidiDeviceDescriptor::MidiDeviceDescriptor(MidiDeviceFactory* factory_, bool isInput_, int index_,
                                           const VString& name_)
    : factory(factory_), isInput(isInput_), index(index_), name(name_) {}

void MidiDeviceDescriptor::assign(const MidiDeviceDescriptor& other) {
    *this = other;
}

std::unique_ptr<MidiDeviceDescriptor> MidiDeviceDescriptor::clone() const {
    return std::unique_ptr<MidiDeviceDescriptor>(new MidiDeviceDescriptor(*this));
}

bool MidiDeviceDescriptor::isSamePort(const MidiDeviceDescriptor& other) const {
    if (differentFactories(*this, other) || isInput != other.isInput || name != other.name ||
        manufacturer != other.manufacturer)
        return false;
    if (!serialNumber.isEmpty() || !other.serialNumber.isEmpty() || !deviceId.isEmpty() ||
        !other.deviceId.isEmpty())
        return serialNumber.equals(other.serialNumber, true) &&
               deviceId.equals(other.deviceId, true);
    return duplicateNumber == other.duplicateNumber;
}

bool MidiDeviceDescriptor::isInOutPair(const MidiDeviceDescriptor* other, bool strict) const {
    if (!other || differentFactories(*this, *other) || isInput == other->isInput)
        return false;
    if (!deviceId.isEmpty() && deviceId == other->deviceId)
        return true;
    if (manufacturer != other->manufacturer)
        return false;
    if (strict)
        return normalisedPortName(name, isInput) == normalisedPortName(other->name, other->isInput);
    const VString a = removeNumberPrefix(name);
    const VString b = removeNumberPrefix(other->name);
    const int run = longestCommonRun(a, b);
    return 2 * run >= a.length() && 2 * run >= b.length() &&
           duplicateNumber == other->duplicateNumber;
}

bool MidiDeviceDescriptor::isIdentical(const MidiDeviceDescriptor& other) const {
    return factory == other.factory && isInput == other.isInput && index == other.index &&
           name == other.name && manufacturer == other.manufacturer &&
           duplicateNumber == other.duplicateNumber && deviceId == other.deviceId &&
           serialNumber == other.serialNumber && secondaryId == other.secondaryId;
}

VString MidiDeviceDescriptor::displayName() const {
    return duplicateNumber > 1 ? VString::format("%s (%d)", name.c_str(), duplicateNumber) : name;
}

} // namespace Tr
