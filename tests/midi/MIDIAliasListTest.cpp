#include "midi/MIDIAliasList.h"

#include "MidiPortsTestSupport.h"
#include "foundation/VException.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using MidiPortsTest::str;
using Tr::MIDIAlias;
using Tr::MIDIAliasList;
using Vorn::VString;

class MIDIAliasListTest : public ::testing::Test {
protected:
    Tr::MIDIAliasManager aliases;
};

TEST_F(MIDIAliasListTest, CompactFormRoundTripsAndResolvesReferenced) {
    MIDIAliasList list;
    EXPECT_EQ(list.readCompact("MIDA00010003In1904060", 0, MIDIAlias::kIn, true, &aliases), 15);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(str(list.get(0)->name()), "In1");
    EXPECT_EQ(list.get(0)->flags(), MIDIAlias::kReferenced); // never -1
    EXPECT_EQ(str(list.toCompact(MIDIAlias::kIn)), "MIDA00010003In1");

    const VString two = "MIDA00020004Keys0005Drums";
    EXPECT_EQ(list.readCompact(two, 0, MIDIAlias::kOut, true, &aliases), two.length());
    EXPECT_EQ(list.toCompact(MIDIAlias::kOut), two);
    EXPECT_EQ(str(list.displayText()), "Keys, Drums");
    // Only aliases of the requested type are counted and written.
    list.add(aliases.getAlias("Keys", MIDIAlias::kIn, true, 0));
    EXPECT_EQ(list.toCompact(MIDIAlias::kOut), two);
    EXPECT_EQ(str(list.toCompact(MIDIAlias::kIn)), "MIDA00010004Keys");
}

TEST_F(MIDIAliasListTest, CompactFormBadInput) {
    MIDIAliasList list;
    list.add(aliases.getAlias("Keys", MIDIAlias::kIn, true, 0));
    EXPECT_EQ(list.readCompact("MIDX0001", 0, MIDIAlias::kIn, true, &aliases), 0);
    EXPECT_TRUE(list.isEmpty()); // cleared all the same
    EXPECT_EQ(list.readCompact("MIDAzzzz", 0, MIDIAlias::kIn, true, &aliases), 8); // count 0
    const char* cutShort[] = {"MIDA", "MIDA00", "MIDA0001", "MIDA000100", "MIDA00010009abc"};
    for (const char* text : cutShort)
        EXPECT_THROW(list.readCompact(text, 0, MIDIAlias::kIn, true, &aliases), Vorn::VException)
            << text;
    // Without create, unknown names are left out.
    EXPECT_EQ(list.readCompact("MIDA00010004Pads", 0, MIDIAlias::kIn, false, &aliases), 16);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(MIDIAliasListTest, LongNamesStayReadable) {
    // A field carries at most 0xFFFF bytes: a longer name is cut, never a length that lies.
    const std::string longName(70000, 'k');
    MIDIAliasList list;
    list.add(aliases.getAlias(VString(std::string_view(longName)), MIDIAlias::kOut, true, 0));
    const VString text = list.toCompact(MIDIAlias::kOut);
    EXPECT_EQ(text.length(), 8 + 4 + 0xFFFF);
    EXPECT_EQ(str(text.substring(0, 12)), "MIDA0001FFFF");
    MIDIAliasList back;
    EXPECT_EQ(back.readCompact(text, 0, MIDIAlias::kOut, true, &aliases), text.length());
}

TEST_F(MIDIAliasListTest, NoDuplicatesAndXmlForm) {
    MIDIAlias* keys = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    MIDIAliasList list;
    list.add(keys);
    list.add(keys);
    EXPECT_EQ(list.count(), 1);
    list.add(aliases.getAlias("Pads", MIDIAlias::kIn, true, 0));

    const auto element = list.toElement(MIDIAlias::kIn);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(str(element->toString()), "<Ports><Port>Keys</Port><Port>Pads</Port></Ports>");
    EXPECT_EQ(list.toElement(MIDIAlias::kOut), nullptr);

    MIDIAliasList back;
    back.readElement(*element, MIDIAlias::kIn, true, &aliases);
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.get(0), keys);
    EXPECT_TRUE(keys->hasFlag(MIDIAlias::kReferenced));
}

TEST_F(MIDIAliasListTest, IsBoundTo) {
    MIDIAlias* keys = aliases.getAlias("Keys", MIDIAlias::kIn, true, 0);
    MIDIAliasList list;
    list.add(keys);
    EXPECT_FALSE(list.isBoundTo(-1));
    EXPECT_FALSE(list.isBoundTo(0));
    keys->setDeviceSlot(3);
    EXPECT_TRUE(list.isBoundTo(3));
    aliases.remove(keys);
    EXPECT_FALSE(list.isBoundTo(3));
}

} // namespace
