#pragma once

#include "foundation/AutoDelete.h"
#include "foundation/VLock.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRoutes.h"

#include <vector>

namespace Vorn {
class ErrorMessageCallback;
}

namespace Tr {

class MidiManager;
class TIniFile;

// Owns the MIDI thru routes, keeps the forwarding lists the MIDI manager's input path uses
// (each MIDI IN alias carries the OUT aliases of its effective routes, MIDIAlias::thruTargets),
// stores the routes in the project file and tells its listeners when the effective routes
// change. Follows alias changes: a route whose end was deleted is cut.
//
// One current instance: instance() creates the process-wide one on first use; a router
// constructed directly (tests) is the current one until it is destroyed.
//
// Threads: edited on the host's thread; alias notifications arrive on the thread that changed an
// alias. The forwarding lists are replaced as a whole, so input threads read them without locks.
// Lock order: the alias manager's lock before the router's.
class MIDIRouter : public MIDIAliasManager::Listener, public Vorn::AutoDelete {
public:
    class Listener {
    public:
        virtual ~Listener();
        // The effective routes changed. Called on the changing thread, without the router's lock.
        virtual void routesChanged(MIDIRouter* router) = 0;
    };

    struct Options {
        // Null: the current alias manager.
        MIDIAliasManager* aliases = nullptr;
        // Told to collect its thru targets again after a change; null: the current manager.
        MidiManager* manager = nullptr;
        // False: no manager is told (a router on its own).
        bool tellManager = true;
    };

    static constexpr const char* kSection = "MIDI.routes";

    static MIDIRouter* instance();

    MIDIRouter();
    explicit MIDIRouter(const Options& options);
    ~MIDIRouter() override;

    // Both ends are marked referenced. Returns the new route's index.
    int createRoute(MIDIAlias* from, MIDIAlias* to, int flags = 0);
    // New ends; a null end removes the route (as removeRoute). False for a bad index.
    bool modifyRoute(int index, MIDIAlias* from, MIDIAlias* to);
    // False for a bad index or an undeletable route.
    bool removeRoute(int index);
    // Removes every route except the undeletable ones.
    void removeAllRoutes();
    bool setRouteFlags(int index, int flags);

    int routeCount();
    // The route's ends and flags; false for a bad index.
    bool getRoute(int index, MIDIAlias*& from, MIDIAlias*& to, int& flags);

    // Changes inside a batch are applied once, when the outermost batch ends.
    void beginBatch();
    void endBatch();

    void addListener(Listener* listener);
    void removeListener(Listener* listener);

    // The project file's section: the simple form (keys In<n>/Out<n>) when the routes fit it,
    // else the key "Routes" with the XML form. Loading adds the routes it finds.
    void save(TIniFile& ini);
    void load(const TIniFile& ini, Vorn::ErrorMessageCallback* errors);

    // MIDIAliasManager::Listener
    void aliasListChanged() override;
    void aliasChanged(MIDIAlias* alias) override;

private:
    // After a change: rebuilds now, or at the end of the open batch.
    void changed(bool cut);
    // Recomputes loop marks and forwarding lists; tells the manager and the listeners when
    // anything changed (or cut is set).
    void rebuild(bool cut);
    void markReferenced(MIDIAlias* alias);

    MIDIAliasManager* aliases_;
    Options options_;
    Vorn::VLock lock_;
    MIDIRoutes routes_;
    std::vector<Listener*> listeners_;
    int batch_ = 0;
    bool cutDue_ = false;
    MIDIRouter* previous_ = nullptr;
};

} // namespace Tr
