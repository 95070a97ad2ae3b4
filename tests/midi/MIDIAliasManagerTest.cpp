#include "midi/MIDIAliasManager.h"

#include "MidiManagerFixture.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/TIniFile.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MidiPortsTest::str;
using Strings = std::vector<std::string>;
using Tr::MIDIAlias;
using Tr::MIDIAliasManager;
using Vorn::VString;

class Recorder : public MIDIAliasManager::Listener {
public:
    void aliasListChanged() override { events.push_back("list"); }
    void aliasChanged(MIDIAlias* alias) override {
        events.push_back("alias " + str(alias->name()));
    }
    Strings events;
};

std::vector<std::string> section(const Tr::TIniFile& ini) {
    Strings lines;
    for (const VString& line : ini.getSection(MIDIAliasManager::kSection).lines())
        lines.push_back(str(line));
    return lines;
}

TEST(MIDIAliasManager, GetAliasFindsByTypeNameAndAlternateName) {
    MIDIAliasManager aliases;
    MIDIAlias* out = aliases.getAlias("Keys", MIDIAlias::kOut, true, 0);
    MIDIAlias* in = aliases.getAlias("keys", MIDIAlias::kIn, true, 0);
    ASSERT_NE(in, out); // another type is another alias
    EXPECT_EQ(str(in->name()), "keys");
    EXPECT_EQ(aliases.getAlias("KEYS", MIDIAlias::kOut, false, 0), out);
    EXPECT_EQ(aliases.getAlias("Pads", MIDIAlias::kOut, false, 0), nullptr);
    EXPECT_EQ(aliases.getAlias("Keys", MIDIAlias::kNone, true, 0), nullptr);

    // Negative flags mark the alias referenced; they are never stored as flags.
    EXPECT_EQ(out->flags(), 0);
    EXPECT_EQ(aliases.getAlias("Keys", MIDIAlias::kOut, true, -1), out);
    EXPECT_EQ(out->flags(), MIDIAlias::kReferenced);
    MIDIAlias* fresh = aliases.getAlias("Fresh", MIDIAlias::kIn, true, -1);
    EXPECT_EQ(fresh->flags(), MIDIAlias::kReferenced);
    EXPECT_EQ(aliases.getAlias("Keys", MIDIAlias::kOut, false, -1)->flags(),
              MIDIAlias::kReferenced);

    MIDIAlias* product = aliases.getAlias("Vorn Corvane 1", MIDIAlias::kIn, true, 0);
    aliases.addProductNamePair("Vorn Corvane", "Vorn's Corvane");
    EXPECT_EQ(str(product->alternateName()), "Vorn's Corvane 1");
    EXPECT_EQ(aliases.getAlias("vorn's corvane 1", MIDIAlias::kIn, false, 0), product);
    EXPECT_TRUE(in->alternateName().isEmpty());
}

TEST(MIDIAliasManager, DeletionLeavesTheObjectInPlaceWithoutType) {
    MIDIAliasManager aliases;
    MIDIAlias* keys = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    MIDIAlias* pads = aliases.getAlias("Pads", MIDIAlias::kIn, true, 0);
    aliases.setDevice(keys, "Keys");
    keys->setDeviceSlot(2);
    Tr::MIDIAliasList list;
    list.add(keys);
    list.add(pads);
    Recorder recorder;
    aliases.addListener(&recorder);

    aliases.remove(keys);
    EXPECT_EQ(recorder.events, (Strings{"alias Keys", "list"}));
    EXPECT_EQ(keys->type(), MIDIAlias::kNone);
    EXPECT_EQ(keys->deviceSlot(), -1);
    EXPECT_EQ(str(keys->name()), "Keys"); // the object is still there, readable
    EXPECT_EQ(list.get(0), keys);
    EXPECT_EQ(aliases.count(), 1);
    EXPECT_EQ(aliases.get(0), pads);
    EXPECT_EQ(aliases.indexOf(keys), -1);
    EXPECT_EQ(aliases.getAlias("Keys", MIDIAlias::kIn, false, 0), nullptr);
    EXPECT_EQ(str(list.toCompact(MIDIAlias::kIn)), "MIDA00010004Pads");
    // The name can be used again: a new alias, the old object untouched.
    MIDIAlias* again = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    EXPECT_NE(again, keys);
    aliases.removeListener(&recorder);
}

TEST(MIDIAliasManager, EditsAndBatches) {
    MIDIAliasManager aliases;
    MIDIAlias* keys = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    MIDIAlias* other = aliases.getAlias("Other", MIDIAlias::kIn, true, 0);
    Recorder recorder;
    aliases.addListener(&recorder);

    EXPECT_FALSE(aliases.rename(keys, "other")); // taken
    EXPECT_FALSE(aliases.rename(keys, ""));
    EXPECT_TRUE(aliases.rename(keys, "Piano"));
    aliases.setFlags(other, MIDIAlias::kInternal);
    EXPECT_FALSE(aliases.rename(other, "Internal"));
    EXPECT_FALSE(aliases.setDevice(other, "Port"));
    EXPECT_EQ(recorder.events, (Strings{"alias Piano", "alias Other"}));

    recorder.events.clear();
    aliases.beginBatch();
    aliases.beginBatch();
    aliases.setDevice(keys, "Port A");
    aliases.setDevice(keys, "Port B");
    aliases.getAlias("New", MIDIAlias::kOut, true, 0);
    aliases.endBatch();
    EXPECT_TRUE(recorder.events.empty());
    aliases.endBatch();
    EXPECT_EQ(recorder.events, (Strings{"alias Piano", "list"}));
    EXPECT_FALSE(keys->hasFlag(MIDIAlias::kChangeDue));
    aliases.removeListener(&recorder);
}

TEST(MIDIAliasManager, NumberedAliasesOfADeviceKind) {
    MIDIAliasManager aliases;
    aliases.updateNumberedAliases("Vorn Virtual Port", 3);
    EXPECT_EQ(aliases.count(), 6);
    MIDIAlias* third = aliases.getAlias("Vorn Virtual Port 3", MIDIAlias::kIn, false, 0);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->flags(), MIDIAlias::kInternal); // marker cleared at the end
    MIDIAlias* thirdOut = aliases.getAlias("Vorn Virtual Port 3", MIDIAlias::kOut, false, 0);
    aliases.setFlags(thirdOut,
                     MIDIAlias::kInternal | MIDIAlias::kReferenced); // the project uses it
    MIDIAlias* lookalike = aliases.getAlias("Vorn Virtual Port 3b", MIDIAlias::kIn, true, 0);

    aliases.updateNumberedAliases("Vorn Virtual Port", 2);
    EXPECT_EQ(third->type(), MIDIAlias::kNone);   // deleted
    EXPECT_EQ(thirdOut->type(), MIDIAlias::kOut); // kept: referenced
    EXPECT_TRUE(thirdOut->hasFlag(MIDIAlias::kInternal));
    EXPECT_EQ(lookalike->type(), MIDIAlias::kIn); // not of the numbered form
    EXPECT_EQ(aliases.count(), 6);
}

TEST(MIDIAliasManager, SettingsRoundTripByteForByte) {
    MIDIAliasManager aliases;
    MIDIAlias* piano = aliases.getAlias("Piano", MIDIAlias::kIn, true, 0);
    aliases.setDevice(piano, "Keys");
    MIDIAlias* kept = aliases.getAlias("Spare", MIDIAlias::kOut, true, MIDIAlias::kPersistent);
    aliases.getAlias("Loose", MIDIAlias::kOut, true, 0); // no device: not saved
    MIDIAlias* internal = aliases.getAlias("Virtual 1", MIDIAlias::kIn, true, MIDIAlias::kInternal);
    aliases.setDevice(internal, "Virtual 1");
    MIDIAlias* own = aliases.getAlias("Synth", MIDIAlias::kOut, true, 0);
    aliases.setDevice(own, "Synth"); // a port's own alias: saved only while the port is wanted
    MIDIAlias* gone = aliases.getAlias("Gone", MIDIAlias::kIn, true, 0);
    aliases.setDevice(gone, "Keys");
    aliases.remove(gone);
    (void)kept;

    Tr::TIniFile ini;
    aliases.save(ini);
    const Strings expected = {"Name0=Piano", "Device0=1:Keys",
                              "Name1=Spare", "Device1=2:(none persistent)",
                              "Name2=Synth", "Device2=2:Synth"};
    EXPECT_EQ(section(ini), expected);

    MIDIAliasManager loaded;
    loaded.load(ini);
    EXPECT_TRUE(loaded.settingsLoaded());
    Tr::TIniFile again;
    loaded.save(again);
    EXPECT_EQ(again.toText(), ini.toText());
    EXPECT_TRUE(
        loaded.getAlias("Spare", MIDIAlias::kOut, false, 0)->hasFlag(MIDIAlias::kPersistent));

    // Saving fewer aliases than before removes the left-over keys.
    Tr::TIniFile five;
    for (int n = 0; n < 5; ++n) {
        five.setValue(MIDIAliasManager::kSection, VString::format("Name%d", n), "x");
        five.setValue(MIDIAliasManager::kSection, VString::format("Device%d", n), "1:x");
    }
    aliases.save(five);
    EXPECT_EQ(section(five), expected);
}

TEST(MIDIAliasManager, NamesThatTheLineParserWouldChangeSurviveSaving) {
    MIDIAliasManager aliases;
    const char* names[] = {"\"Quoted", " Leading blank", "Line\nbreak", "Tab\tinside"};
    for (const char* name : names) {
        MIDIAlias* alias = aliases.getAlias(name, MIDIAlias::kOut, true, 0);
        aliases.setDevice(alias, name);
    }
    EXPECT_EQ(aliases.getAlias("", MIDIAlias::kOut, true, 0), nullptr); // could not be saved
    Tr::TIniFile ini;
    aliases.save(ini);
    MIDIAliasManager loaded;
    loaded.load(ini);
    ASSERT_EQ(loaded.count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(str(loaded.get(i)->name()), names[i]);
        EXPECT_EQ(str(loaded.get(i)->deviceName()), names[i]);
    }
}

TEST(MIDIAliasManager, LoadMergesAndSurvivesGarbage) {
    Tr::TIniFile ini;
    const char* lines[][2] = {
        {"Name0", "Piano"},   {"Device0", "1:Keys"},
        {"Name1", "Bad"},     {"Device1", "7:Keys"},
        {"Name2", "NoColon"}, {"Device2", "Keys"},
        {"Name3", "Letters"}, {"Device3", "x:Keys"},
        {"Name4", "Persist"}, {"Device4", "2:(NONE PERSISTENT)"},
        {"Name5", "Colons"},  {"Device5", "2:a:b"},
    };
    for (const auto& line : lines)
        ini.setValue(MIDIAliasManager::kSection, line[0], line[1]);

    MIDIAliasManager aliases;
    MIDIAlias* existing = aliases.getAlias("piano", MIDIAlias::kIn, true, MIDIAlias::kPersistent);
    Recorder recorder;
    aliases.addListener(&recorder);
    aliases.load(ini);
    EXPECT_EQ(recorder.events.back(), "list");
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "list"), 1);
    EXPECT_EQ(aliases.getAlias("Piano", MIDIAlias::kIn, false, 0), existing); // merged
    EXPECT_EQ(str(existing->deviceName()), "Keys");
    EXPECT_FALSE(existing->hasFlag(MIDIAlias::kPersistent));
    EXPECT_EQ(aliases.getAlias("Bad", MIDIAlias::kIn, false, 0), nullptr);
    EXPECT_EQ(aliases.getAlias("Letters", MIDIAlias::kIn, false, 0), nullptr);
    MIDIAlias* persist = aliases.getAlias("Persist", MIDIAlias::kOut, false, 0);
    ASSERT_NE(persist, nullptr);
    EXPECT_TRUE(persist->deviceName().isEmpty());
    EXPECT_TRUE(persist->hasFlag(MIDIAlias::kPersistent));
    EXPECT_EQ(str(aliases.getAlias("Colons", MIDIAlias::kOut, false, 0)->deviceName()), "a:b");

    MIDIAliasManager off;
    off.setLoadSettings(false);
    off.load(ini);
    EXPECT_EQ(off.count(), 0);
    aliases.removeListener(&recorder);
}

TEST(MIDIAliasManager, XmlFormOfOneAlias) {
    MIDIAliasManager aliases;
    MIDIAlias* keys = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    aliases.setDevice(keys, "Port 1");
    Vorn::XmlElement element("From");
    keys->writeElement(element);
    EXPECT_EQ(str(element.toString()), "<From Name=\"Keys\" Type=\"in\" Device=\"Port 1\"/>");

    MIDIAliasManager other;
    EXPECT_EQ(other.readElement(element, nullptr)->deviceName(), "Port 1");

    Vorn::ErrorMessageCollector errors;
    Vorn::XmlElement noName("To");
    noName.setAttribute("Type", "out");
    EXPECT_EQ(other.readElement(noName, &errors), nullptr);
    Vorn::XmlElement noType("To");
    noType.setAttribute("Name", "Synth");
    noType.setAttribute("Type", "sideways");
    EXPECT_EQ(other.readElement(noType, &errors), nullptr);
    Vorn::XmlElement persistent("To");
    persistent.setAttribute("Name", "Spare");
    persistent.setAttribute("Type", "OUT");
    persistent.setAttribute("Device", "(none persistent)");
    MIDIAlias* spare = other.readElement(persistent, &errors);
    ASSERT_NE(spare, nullptr);
    EXPECT_TRUE(spare->hasFlag(MIDIAlias::kPersistent | MIDIAlias::kReferenced));
    Vorn::XmlElement written("To");
    spare->writeElement(written);
    EXPECT_EQ(str(written.toString()),
              "<To Name=\"Spare\" Type=\"out\" Device=\"(none persistent)\"/>");
    ASSERT_EQ(errors.messages().count(), 2);
    EXPECT_EQ(str(errors.messages().get(0)), "ERROR: Alias does not define a name in XML.");
    EXPECT_EQ(str(errors.messages().get(1)),
              "ERROR: Alias Synth: does not define alias type in XML.");
}

TEST(MIDIAliasManager, InOutPair) {
    MIDIAliasManager aliases;
    MIDIAlias* in = aliases.getAlias("From Keys In", MIDIAlias::kIn, true, 0);
    MIDIAlias* out = aliases.getAlias("to keys output", MIDIAlias::kOut, true, 0);
    MIDIAlias* otherIn = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    EXPECT_TRUE(in->isInOutPair(*out));
    EXPECT_FALSE(in->isInOutPair(*otherIn));
}

// With a manager: ports get aliases of their own, and the own alias of a port that is neither
// open nor pending is not saved.
class MIDIAliasManagerWithPorts : public MidiPortsTest::MidiManagerFixture {};

TEST_F(MIDIAliasManagerWithPorts, PortsGetTheirOwnAliasesAndUnpluggedOnesAreKeptWhileWanted) {
    const std::string keys = system.addPort(true, "Keys");
    system.addPort(false, "Synth");
    advance(300);
    MIDIAlias* own = aliases.getAlias("Keys", MIDIAlias::kIn, false, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(str(own->deviceName()), "Keys");
    EXPECT_EQ(own->deviceSlot(), manager.findEntry("Keys", 0, true));
    MIDIAlias* piano = aliases.getAlias("Piano", MIDIAlias::kIn, true, 0);
    aliases.setDevice(piano, "Keys");
    EXPECT_EQ(piano->deviceSlot(), own->deviceSlot());

    Tr::TIniFile closed;
    aliases.save(closed, &manager);
    EXPECT_EQ(section(closed), (Strings{"Name0=Piano", "Device0=1:Keys"}));

    ASSERT_TRUE(manager.open(own->deviceSlot(), true));
    system.removePort(keys); // unplugged: pending, so its own alias is still saved
    advance(300);
    EXPECT_EQ(str(own->deviceName()), "Keys");
    Tr::TIniFile pending;
    aliases.save(pending, &manager);
    EXPECT_EQ(section(pending),
              (Strings{"Name0=Keys", "Device0=1:Keys", "Name1=Piano", "Device1=1:Keys"}));
}

} // namespace
