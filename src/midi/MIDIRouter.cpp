#include "midi/MIDIRouter.h"

#include "engine/RecordValue.h"
#include "foundation/CurrentInstance.h"
#include "foundation/ErrorMessages.h"
#include "foundation/TIniFile.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MidiManager.h"

#include <algorithm>
#include <memory>

namespace Tr {

using Vorn::ScopedLock;
using Vorn::VString;

namespace {

Vorn::CurrentInstance<MIDIRouter>& current() {
    static Vorn::CurrentInstance<MIDIRouter> instance;
    return instance;
}

constexpr const char* kRoutesKey = "Routes";

VString numberedKey(const char* name, int n) {
    return VString::format("%s%d", name, n);
}

bool sameTargets(const MIDIAliasList* current, const MIDIAliasList* fresh) {
    const int currentCount = current ? current->count() : 0;
    const int freshCount = fresh ? fresh->count() : 0;
    if (currentCount != freshCount)
        return false;
    for (int i = 0; i < currentCount; ++i) {
        if (current->get(i) != fresh->get(i))
            return false;
    }
    return true;
}

} // namespace

MIDIRouter::Listener::~Listener() = default;

MIDIRouter* MIDIRouter::instance() {
    if (MIDIRouter* router = current().get())
        return router;
    return new MIDIRouter(); // becomes current; owned by the AutoDelete registry
}

MIDIRouter::MIDIRouter() : MIDIRouter(Options()) {}

MIDIRouter::MIDIRouter(const Options& options)
    : aliases_(options.aliases ? options.aliases : MIDIAliasManager::instance()), options_(options),
      routes_(this) {
    aliases_->addListener(this);
    previous_ = current().enter(this);
}

MIDIRouter::~MIDIRouter() {
    aliases_->removeListener(this);
    current().leave(this, previous_);
}

void MIDIRouter::markReferenced(MIDIAlias* alias) {
    ScopedLock hold(&aliases_->lock());
    alias->addFlags(MIDIAlias::kReferenced);
}

int MIDIRouter::createRoute(MIDIAlias* from, MIDIAlias* to, int flags) {
    if (from)
        markReferenced(from);
    if (to)
        markReferenced(to);
    int index;
    {
        ScopedLock hold(&lock_);
        index =
            routes_.add(std::make_unique<MIDIRoute>(from, to, flags & ~MIDIRoute::kLoop))->index();
    }
    changed(false);
    return index;
}

bool MIDIRouter::modifyRoute(int index, MIDIAlias* from, MIDIAlias* to) {
    if (!from || !to)
        return removeRoute(index);
    markReferenced(from);
    markReferenced(to);
    {
        ScopedLock hold(&lock_);
        MIDIRoute* route = routes_.get(index);
        if (!route)
            return false;
        route->setEnds(from, to);
        routes_.setRebuildDue(true);
    }
    changed(false);
    return true;
}

bool MIDIRouter::removeRoute(int index) {
    {
        ScopedLock hold(&lock_);
        const MIDIRoute* route = routes_.get(index);
        if (!route || route->hasFlag(MIDIRoute::kUndeletable))
            return false;
        routes_.remove(index);
    }
    changed(false);
    return true;
}

void MIDIRouter::removeAllRoutes() {
    {
        ScopedLock hold(&lock_);
        for (int i = routes_.count() - 1; i >= 0; --i) {
            if (!routes_.get(i)->hasFlag(MIDIRoute::kUndeletable))
                routes_.remove(i);
        }
    }
    changed(false);
}

bool MIDIRouter::setRouteFlags(int index, int flags) {
    {
        ScopedLock hold(&lock_);
        MIDIRoute* route = routes_.get(index);
        if (!route)
            return false;
        route->setFlags((flags & ~MIDIRoute::kLoop) | (route->flags() & MIDIRoute::kLoop));
        routes_.setRebuildDue(true);
    }
    changed(false);
    return true;
}

int MIDIRouter::routeCount() {
    ScopedLock hold(&lock_);
    return routes_.count();
}

bool MIDIRouter::getRoute(int index, MIDIAlias*& from, MIDIAlias*& to, int& flags) {
    ScopedLock hold(&lock_);
    const MIDIRoute* route = routes_.get(index);
    if (!route)
        return false;
    from = route->from();
    to = route->to();
    flags = route->flags();
    return true;
}

void MIDIRouter::beginBatch() {
    ScopedLock hold(&lock_);
    ++batch_;
}

void MIDIRouter::endBatch() {
    bool cut;
    {
        ScopedLock hold(&lock_);
        if (batch_ == 0 || --batch_ > 0 || (!routes_.rebuildDue() && !cutDue_))
            return;
        cut = cutDue_;
        cutDue_ = false;
    }
    rebuild(cut);
}

void MIDIRouter::changed(bool cut) {
    {
        ScopedLock hold(&lock_);
        if (batch_ > 0) {
            cutDue_ = cutDue_ || cut;
            routes_.setRebuildDue(true);
            return;
        }
    }
    rebuild(cut);
}

void MIDIRouter::rebuild(bool cut) {
    bool changed = cut;
    {
        ScopedLock holdAliases(&aliases_->lock());
        ScopedLock hold(&lock_);
        routes_.setRebuildDue(false);
        changed = routes_.markLoops() || changed;
        const auto lists = routes_.forwardingLists();
        for (MIDIAlias* alias : aliases_->all()) {
            const auto fresh = std::find_if(lists.begin(), lists.end(), [alias](const auto& list) {
                return list.first == alias;
            });
            const MIDIAliasList* freshList = fresh == lists.end() ? nullptr : &fresh->second;
            const std::shared_ptr<const MIDIAliasList> current = alias->thruTargets();
            if (sameTargets(current.get(), freshList))
                continue;
            alias->setThruTargets(freshList ? std::make_shared<const MIDIAliasList>(*freshList)
                                            : nullptr);
            changed = true;
        }
    }
    if (!changed)
        return;
    if (options_.tellManager)
        (options_.manager ? options_.manager : MidiManager::instance())->routesChanged();
    std::vector<Listener*> listeners;
    {
        ScopedLock hold(&lock_);
        listeners = listeners_;
    }
    for (Listener* listener : listeners)
        listener->routesChanged(this);
}

void MIDIRouter::addListener(Listener* listener) {
    ScopedLock hold(&lock_);
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void MIDIRouter::removeListener(Listener* listener) {
    ScopedLock hold(&lock_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void MIDIRouter::aliasListChanged() {
    bool cut;
    {
        ScopedLock hold(&lock_);
        cut = routes_.cutUntypedEnds();
    }
    changed(cut);
}

void MIDIRouter::aliasChanged(MIDIAlias* /*alias*/) {
    aliasListChanged();
}

void MIDIRouter::save(TIniFile& ini) {
    ScopedLock holdAliases(&aliases_->lock());
    ScopedLock hold(&lock_);
    int pairs = 0;
    if (routes_.fitsSimpleForm()) {
        for (int i = 0; i < routes_.count(); ++i) {
            const MIDIRoute* route = routes_.get(i);
            if (!route->isSaved())
                continue;
            // names may begin with a blank or a quote, which the line parser would strip
            ini.setValue(kSection, numberedKey("In", pairs),
                         encodeRecordValue(route->from()->name()));
            ini.setValue(kSection, numberedKey("Out", pairs),
                         encodeRecordValue(route->to()->name()));
            ++pairs;
        }
        ini.removeKey(kSection, kRoutesKey);
    } else {
        ini.setValue(kSection, kRoutesKey, encodeRecordValue(routes_.toElement()->toString()));
    }
    for (int n = pairs; ini.hasKey(kSection, numberedKey("In", n)); ++n) {
        ini.removeKey(kSection, numberedKey("In", n));
        ini.removeKey(kSection, numberedKey("Out", n));
    }
}

void MIDIRouter::load(const TIniFile& ini, Vorn::ErrorMessageCallback* errors) {
    beginBatch();
    if (ini.hasKey(kSection, "In0")) {
        for (int n = 0; ini.hasKey(kSection, numberedKey("In", n)); ++n) {
            MIDIAlias* from = aliases_->getAlias(ini.getValue(kSection, numberedKey("In", n)),
                                                 MIDIAlias::kIn, true, -1);
            MIDIAlias* to = aliases_->getAlias(ini.getValue(kSection, numberedKey("Out", n)),
                                               MIDIAlias::kOut, true, -1);
            if (!from || !to)
                continue;
            ScopedLock hold(&lock_);
            routes_.add(std::make_unique<MIDIRoute>(from, to));
        }
    } else if (ini.hasKey(kSection, kRoutesKey)) {
        VString error;
        const std::unique_ptr<Vorn::XmlElement> root =
            Vorn::XmlElement::parse(ini.getValue(kSection, kRoutesKey), error);
        if (root) {
            // the aliases are read before the router's lock is taken (lock order)
            MIDIRoutes loaded;
            loaded.readElement(*root, *aliases_, errors);
            ScopedLock hold(&lock_);
            while (loaded.count() > 0) {
                const MIDIRoute* route = loaded.get(0);
                routes_.add(
                    std::make_unique<MIDIRoute>(route->from(), route->to(), route->flags()));
                loaded.remove(0);
            }
        } else if (errors) {
            errors->message(Vorn::kLevelError, VString::format("MIDI routes: %s", error.c_str()));
        }
    }
    endBatch();
}

} // namespace Tr
