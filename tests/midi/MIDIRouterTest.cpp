#include "midi/MIDIRouter.h"

#include "foundation/TIniFile.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace MidiTestSupport;
using Tr::MIDIAlias;
using Tr::MIDIRoute;
using Tr::MIDIRouter;

class CountingListener : public MIDIRouter::Listener {
public:
    void routesChanged(MIDIRouter*) override { ++calls; }
    int take() { return std::exchange(calls, 0); }
    int calls = 0;
};

class MIDIRouterTest : public ::testing::Test {
protected:
    void SetUp() override { router.addListener(&listener); }
    void TearDown() override { router.removeListener(&listener); }

    MIDIAlias* in(const char* name) { return aliases.getAlias(name, MIDIAlias::kIn, true, 0); }
    MIDIAlias* out(const char* name) { return aliases.getAlias(name, MIDIAlias::kOut, true, 0); }

    // The names of an alias's thru targets, joined.
    std::string targets(MIDIAlias* alias) {
        const auto list = alias->thruTargets();
        return list ? str(list->displayText()) : "";
    }
    int flags(int index) {
        MIDIAlias* from = nullptr;
        MIDIAlias* to = nullptr;
        int result = -1;
        router.getRoute(index, from, to, result);
        return result;
    }

    Tr::MIDIAliasManager aliases;
    MIDIRouter router{MIDIRouter::Options{&aliases, nullptr, false}};
    CountingListener listener;
};

TEST_F(MIDIRouterTest, EffectiveRoutesBecomeForwardingLists) {
    router.createRoute(in("In1"), out("Out1"));
    EXPECT_EQ(listener.take(), 1);
    router.createRoute(in("In1"), out("Out2"));
    router.createRoute(in("In2"), out("Out1"));
    EXPECT_EQ(targets(in("In1")), "Out1, Out2");
    EXPECT_EQ(targets(in("In2")), "Out1");
    EXPECT_TRUE(in("In1")->hasFlag(MIDIAlias::kReferenced));
    EXPECT_TRUE(out("Out2")->hasFlag(MIDIAlias::kReferenced));

    // a disabled route forwards nothing
    listener.take();
    router.setRouteFlags(1, MIDIRoute::kDisabled);
    EXPECT_EQ(targets(in("In1")), "Out1");
    EXPECT_EQ(listener.take(), 1);
    // a change that changes nothing tells nobody
    router.setRouteFlags(1, MIDIRoute::kDisabled);
    EXPECT_EQ(listener.take(), 0);

    router.modifyRoute(0, in("In2"), out("Out3"));
    EXPECT_EQ(targets(in("In1")), "");
    EXPECT_EQ(targets(in("In2")), "Out3, Out1");
    // a null end removes the route
    EXPECT_TRUE(router.modifyRoute(0, nullptr, out("Out3")));
    EXPECT_EQ(router.routeCount(), 2);
    EXPECT_EQ(targets(in("In2")), "Out1");
}

TEST_F(MIDIRouterTest, FeedbackLoopsLoseOneRoute) {
    // routes between aliases of any type can close a loop: A -> B -> A
    MIDIAlias* a = in("A");
    MIDIAlias* b = out("B");
    router.createRoute(a, b);
    EXPECT_EQ(flags(0), 0);
    router.createRoute(b, a);
    EXPECT_EQ(flags(0) & MIDIRoute::kLoop, MIDIRoute::kLoop);
    EXPECT_EQ(flags(1) & MIDIRoute::kLoop, 0);
    EXPECT_EQ(targets(a), "");
    EXPECT_EQ(targets(b), "A");
    // the loop is gone with the other route: the mark is cleared
    router.removeRoute(1);
    EXPECT_EQ(flags(0), 0);
    EXPECT_EQ(targets(a), "B");

    // a route to itself
    router.createRoute(out("C"), out("C"));
    EXPECT_EQ(flags(1) & MIDIRoute::kLoop, MIDIRoute::kLoop);
    // two ways to the same alias are no loop
    router.removeAllRoutes();
    router.createRoute(in("X"), out("Y"));
    router.createRoute(out("Y"), out("Z"));
    router.createRoute(in("X"), out("W"));
    router.createRoute(out("W"), out("Z"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(flags(i), 0) << i;
}

TEST_F(MIDIRouterTest, DeletingAnAliasCutsItsRoutes) {
    router.createRoute(in("In1"), out("Out1"));
    router.createRoute(in("In1"), out("Out2"));
    listener.take();
    aliases.remove(out("Out1"));
    EXPECT_EQ(listener.take(), 1);
    EXPECT_EQ(targets(in("In1")), "Out2");
    MIDIAlias* from = nullptr;
    MIDIAlias* to = nullptr;
    int routeFlags = 0;
    ASSERT_TRUE(router.getRoute(0, from, to, routeFlags));
    EXPECT_EQ(from, nullptr);
}

TEST_F(MIDIRouterTest, BatchesNotifyOnce) {
    router.beginBatch();
    router.createRoute(in("In1"), out("Out1"));
    router.createRoute(in("In2"), out("Out1"));
    EXPECT_EQ(listener.take(), 0);
    EXPECT_EQ(targets(in("In1")), "");
    router.endBatch();
    EXPECT_EQ(listener.take(), 1);
    EXPECT_EQ(targets(in("In1")), "Out1");
}

TEST_F(MIDIRouterTest, UndeletableRoutesStay) {
    router.createRoute(in("In1"), out("Out1"), MIDIRoute::kUndeletable);
    router.createRoute(in("In2"), out("Out2"));
    EXPECT_FALSE(router.removeRoute(0));
    router.removeAllRoutes();
    EXPECT_EQ(router.routeCount(), 1);
    EXPECT_EQ(targets(in("In1")), "Out1");
    EXPECT_EQ(targets(in("In2")), "");
}

TEST_F(MIDIRouterTest, SimpleFormRoundTrip) {
    Tr::TIniFile ini;
    ini.setValue(MIDIRouter::kSection, "In0", "Keys");
    ini.setValue(MIDIRouter::kSection, "Out0", "Synth");
    ini.setValue(MIDIRouter::kSection, "In1", "Pads");
    ini.setValue(MIDIRouter::kSection, "Out1", "Synth");
    const std::string text = ini.toText();
    router.load(ini, nullptr);
    EXPECT_EQ(router.routeCount(), 2);
    EXPECT_EQ(listener.take(), 1);
    EXPECT_EQ(targets(in("Keys")), "Synth");
    EXPECT_EQ(targets(in("Pads")), "Synth");
    EXPECT_TRUE(in("Pads")->hasFlag(MIDIAlias::kReferenced));

    Tr::TIniFile saved;
    router.save(saved);
    EXPECT_EQ(saved.toText(), text);

    // names the line parser would change are kept as they are
    Tr::MIDIAliasManager otherAliases;
    MIDIRouter other(MIDIRouter::Options{&otherAliases, nullptr, false});
    other.createRoute(otherAliases.getAlias(" \"Keys\"", MIDIAlias::kIn, true, 0),
                      otherAliases.getAlias("Synth\nB", MIDIAlias::kOut, true, 0));
    Tr::TIniFile quoted;
    other.save(quoted);
    Tr::MIDIAliasManager readAliases;
    MIDIRouter reader(MIDIRouter::Options{&readAliases, nullptr, false});
    reader.load(quoted, nullptr);
    MIDIAlias* from = nullptr;
    MIDIAlias* to = nullptr;
    int routeFlags = 0;
    ASSERT_TRUE(reader.getRoute(0, from, to, routeFlags));
    EXPECT_EQ(str(from->name()), " \"Keys\"");
    EXPECT_EQ(str(to->name()), "Synth\nB");

    // keys left over from a longer list go
    router.removeRoute(1);
    saved.setValue(MIDIRouter::kSection, "In2", "Old");
    saved.setValue(MIDIRouter::kSection, "Out2", "Old");
    router.save(saved);
    EXPECT_TRUE(saved.hasKey(MIDIRouter::kSection, "In0"));
    for (const char* key : {"In1", "Out1", "In2", "Out2", "Routes"})
        EXPECT_FALSE(saved.hasKey(MIDIRouter::kSection, key)) << key;
}

TEST_F(MIDIRouterTest, XmlFormRoundTrip) {
    router.createRoute(in("In1"), out("Out1"), MIDIRoute::kDisabled);
    router.createRoute(in("In2"), out("Out2"), MIDIRoute::kHidden | MIDIRoute::kUndeletable);
    router.createRoute(in("In3"), out("Out3"), MIDIRoute::kNotSaved);
    router.createRoute(in("In4"), out("Out4"), MIDIRoute::kTransient);
    router.createRoute(in("In5"), out("Out5"), MIDIRoute::kTransient | MIDIRoute::kDisabled);
    aliases.setDevice(out("Out1"), "Synth");
    Tr::TIniFile ini;
    ini.setValue(MIDIRouter::kSection, "In0", "Stale");
    router.save(ini);
    EXPECT_FALSE(ini.hasKey(MIDIRouter::kSection, "In0"));
    const std::string xml = str(ini.getValue(MIDIRouter::kSection, "Routes"));
    EXPECT_EQ(xml, "<MIDIRoutes>"
                   "<Route Disabled=\"Y\"><From Name=\"In1\" Type=\"in\"/>"
                   "<To Name=\"Out1\" Type=\"out\" Device=\"Synth\"/></Route>"
                   "<Route Hidden=\"Y\" Undeletable=\"Y\"><From Name=\"In2\" Type=\"in\"/>"
                   "<To Name=\"Out2\" Type=\"out\"/></Route>"
                   "<Route Disabled=\"Y\"><From Name=\"In5\" Type=\"in\"/>"
                   "<To Name=\"Out5\" Type=\"out\"/></Route>"
                   "</MIDIRoutes>");

    // read into another router and alias set: the same routes, written the same way
    Tr::MIDIAliasManager otherAliases;
    MIDIRouter other(MIDIRouter::Options{&otherAliases, nullptr, false});
    other.load(ini, nullptr);
    EXPECT_EQ(other.routeCount(), 3);
    EXPECT_EQ(str(otherAliases.getAlias("Out1", MIDIAlias::kOut, false, 0)->deviceName()), "Synth");
    Tr::TIniFile again;
    other.save(again);
    EXPECT_EQ(again.toText(), ini.toText());
}

TEST_F(MIDIRouterTest, CorruptSectionsLoadWhatTheyCan) {
    Tr::TIniFile ini;
    ini.setValue(MIDIRouter::kSection, "Routes",
                 "<MIDIRoutes><Route><From Name=\"In1\" Type=\"in\"/></Route>"
                 "<Route><From Type=\"in\"/><To Name=\"Out1\" Type=\"out\"/></Route>"
                 "<Route><From Name=\"In2\" Type=\"sideways\"/><To Name=\"Out1\" Type=\"out\"/>"
                 "</Route>"
                 "<Route Disabled=\" yes\"><From Name=\"In3\" Type=\"IN\"/>"
                 "<To Name=\"Out3\" Type=\"Out\"/></Route></MIDIRoutes>");
    RecordingErrors errors;
    router.load(ini, &errors);
    EXPECT_EQ(router.routeCount(), 1);
    EXPECT_EQ(flags(0), MIDIRoute::kDisabled);
    EXPECT_EQ(errors.lines,
              (std::vector<std::string>{"0:Alias does not define a name in XML.",
                                        "0:Alias In2: does not define alias type in XML."}));

    Tr::TIniFile garbage;
    garbage.setValue(MIDIRouter::kSection, "Routes", "<MIDIRoutes><Route>");
    errors.lines.clear();
    router.load(garbage, &errors);
    EXPECT_EQ(router.routeCount(), 1);
    EXPECT_EQ(errors.lines.size(), 1u);
}

} // namespace
