#include "midi/MidiDeviceFactory.h"

#include "MidiPortsTestSupport.h"
#include "foundation/SystemClock.h"
#include "midi/MidiDeviceBase.h"
#include "midi/MidiPortNames.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MidiPortsTest::str;
using Tr::MidiDeviceDescriptor;
using Vorn::VString;

struct Port {
    const char* name;
    const char* deviceId = "";
    const char* serial = "";
};

// Enumerates a fixed table of input ports.
class TableFactory : public Tr::MidiDeviceFactory {
public:
    void enumerate(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list) override {
        ++enumerations;
        if (!isInput)
            return;
        int index = 0;
        for (const Port& port : ports) {
            auto* d = new MidiDeviceDescriptor(this, true, index++, port.name);
            d->deviceId = port.deviceId;
            d->serialNumber = port.serial;
            list.add(d);
        }
    }
    uint32_t typeCode() const override { return Tr::midiTypeCode("TEST"); }
    VString typeName(bool) const override { return "Test"; }
    std::unique_ptr<Tr::MidiDeviceBase> createDevice(const MidiDeviceDescriptor&) override {
        return nullptr;
    }

    std::vector<Port> ports;
    int enumerations = 0;
};

std::vector<std::string> names(TableFactory& factory) {
    Vorn::VStringList list;
    factory.deviceNames(true, list);
    std::vector<std::string> result;
    for (const VString& name : list)
        result.push_back(str(name));
    return result;
}

TEST(MidiDeviceFactory, NumbersEqualNamesAndRenamesIndistinguishablePorts) {
    struct Case {
        const char* what;
        std::vector<Port> ports;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"unique", {{"Keys"}, {"Pads"}}, {"Keys", "Pads"}},
        {"equal names", {{"Keys"}, {"Keys"}}, {"Keys", "Keys (2)"}},
        {"equal ignoring case", {{"Keys"}, {"Keys"}, {"Keys"}}, {"Keys", "Keys (2)", "Keys (3)"}},
        {"same device id", {{"Keys", "usb-1"}, {"Keys", "usb-1"}}, {"Keys 1", "Keys 2"}},
        {"different serials",
         {{"Keys", "usb-1", "A"}, {"Keys", "usb-1", "B"}},
         {"Keys", "Keys (2)"}},
    };
    for (const Case& c : cases) {
        TableFactory factory;
        factory.ports = c.ports;
        EXPECT_EQ(names(factory), c.expected) << c.what;
    }
}

TEST(MidiDeviceFactory, ReusesAnEnumerationFor1500Ms) {
    Platform::ManualClock clock(1000);
    Vorn::useClock(&clock);
    TableFactory factory;
    factory.ports = {{"Keys"}};
    factory.deviceCount(true);
    const int first = factory.enumerations;
    clock.advance(1499);
    factory.deviceCount(true);
    EXPECT_EQ(factory.enumerations, first);
    clock.advance(1);
    factory.deviceCount(true);
    EXPECT_GT(factory.enumerations, first);
    const int second = factory.enumerations;
    clock.set(0); // the clock went backwards
    factory.deviceCount(true);
    EXPECT_GT(factory.enumerations, second);
    Vorn::useClock(nullptr);
}

TEST(MidiDeviceFactory, TypeCodesAreTheFourBytesInMemoryOrder) {
    const uint32_t code = Tr::midiTypeCode("MIDI");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&code), 4), "MIDI");
    EXPECT_EQ(Tr::MidiDeviceFactory::kTypeVirtual, Tr::midiTypeCode("VMID"));
}

TEST(MidiPortNames, NumberPrefixAndNormalisedNames) {
    const std::pair<const char*, const char*> prefixes[] = {
        {"12- Keys", "Keys"}, {"12-Keys", "12-Keys"}, {"Keys 2-", "Keys 2-"}, {"2-  Keys", "Keys"},
        {"2- ", ""},          {"-  Keys", "-  Keys"},
    };
    for (const auto& [name, expected] : prefixes)
        EXPECT_EQ(str(Tr::removeNumberPrefix(name)), expected) << name;

    struct Normalised {
        const char* name;
        bool isInput;
        const char* expected;
    };
    const Normalised cases[] = {
        {"From Keys In", true, "Keys"},    {"Keys Input", true, "Keys"},
        {"Keys Input In", true, "Keys"},   {"Keys In Input", true, "Keys In"},
        {"To Keys Output", false, "Keys"}, {"to keys out", false, "keys"},
        {"3- From Keys", true, "Keys"},    {"Keys In", false, "Keys In"},
    };
    for (const Normalised& c : cases)
        EXPECT_EQ(str(Tr::normalisedPortName(c.name, c.isInput)), c.expected) << c.name;
}

TEST(MidiDeviceDescriptor, DisplayNameSamePortAndPairs) {
    MidiDeviceDescriptor keys(nullptr, true, 0, "Keys");
    EXPECT_EQ(str(keys.displayName()), "Keys");
    keys.duplicateNumber = 1;
    EXPECT_EQ(str(keys.displayName()), "Keys");
    keys.duplicateNumber = 2;
    EXPECT_EQ(str(keys.displayName()), "Keys (2)");

    MidiDeviceDescriptor a(nullptr, true, 0, "Keys");
    MidiDeviceDescriptor b(nullptr, true, 1, "Keys");
    EXPECT_TRUE(a.isSamePort(b)); // no ids: the duplicate numbers decide
    b.duplicateNumber = 2;
    EXPECT_FALSE(a.isSamePort(b));
    a.deviceId = "USB-1";
    b.deviceId = "usb-1";
    EXPECT_TRUE(a.isSamePort(b)); // ids compare ignoring case
    b.serialNumber = "X";
    EXPECT_FALSE(a.isSamePort(b));

    MidiDeviceDescriptor in(nullptr, true, 0, "From Keys In");
    MidiDeviceDescriptor out(nullptr, false, 0, "To Keys Out");
    EXPECT_TRUE(in.isInOutPair(&out, true));
    EXPECT_FALSE(in.isInOutPair(nullptr, true));
    MidiDeviceDescriptor otherIn(nullptr, true, 0, "Keys");
    EXPECT_FALSE(in.isInOutPair(&otherIn, false)); // same direction
    MidiDeviceDescriptor looseIn(nullptr, true, 0, "Keys MIDI 1");
    MidiDeviceDescriptor looseOut(nullptr, false, 0, "Keys MIDI 2");
    EXPECT_FALSE(looseIn.isInOutPair(&looseOut, true));
    EXPECT_TRUE(looseIn.isInOutPair(&looseOut, false)); // a common run of 10 of 11 characters
    looseOut.manufacturer = "Vendor";
    EXPECT_FALSE(looseIn.isInOutPair(&looseOut, false));
    looseIn.deviceId = looseOut.deviceId = "dev";
    EXPECT_TRUE(looseIn.isInOutPair(&looseOut, true)); // one device id decides
}

} // namespace
