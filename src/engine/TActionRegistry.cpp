#include "engine/TActionRegistry.h"

#include "engine/ActionTypes.h"
#include "engine/TTransEnableAction.h"
#include "engine/TTransNoneAction.h"
#include "engine/TTransPresetChangeAction.h"
#include "engine/TTransTimerAction.h"

#include <map>
#include <mutex>

namespace Tr {

namespace {

constexpr int kTagLength = 4;

struct Registry {
    std::mutex lock;
    std::map<Vorn::VString, TActionRegistryEntry> entries;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

void registerAction(const TActionRegistryEntry& entry) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.entries[entry.tag] = entry;
}

bool findAction(const Vorn::VString& tag, TActionRegistryEntry& entry) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto found = r.entries.find(tag);
    if (found == r.entries.end())
        return false;
    entry = found->second;
    return true;
}

std::unique_ptr<TTransAction> createAction(const Vorn::VString& text, bool incoming) {
    if (text.length() < kTagLength)
        return nullptr;
    TActionRegistryEntry entry;
    if (!findAction(text.substring(0, kTagLength), entry) || entry.factory == nullptr)
        return nullptr;
    std::unique_ptr<TTransAction> action = entry.factory(incoming);
    if (action)
        action->postCreate();
    return action;
}

void listTypes(std::vector<int>& incomingTypes, std::vector<int>& outgoingTypes) {
    incomingTypes.clear();
    outgoingTypes.clear();
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const auto& [tag, entry] : r.entries) {
        if ((entry.capabilities & kCapabilityIncoming) != 0)
            incomingTypes.push_back(entry.type);
        if ((entry.capabilities & kCapabilityOutgoing) != 0)
            outgoingTypes.push_back(entry.type);
    }
}

namespace {

template <class Action> std::unique_ptr<TTransAction> create(bool incoming) {
    return std::make_unique<Action>(incoming);
}

} // namespace

void registerEngineActions() {
    static std::once_flag once;
    std::call_once(once, [] {
        const int both = kCapabilityIncoming | kCapabilityOutgoing;
        registerAction({TTransPresetChangeAction::kTag, &create<TTransPresetChangeAction>,
                        kTypePresetChange, both});
        registerAction({TTransEnableAction::kTag, &create<TTransEnableAction>, kTypeEnable, both});
        registerAction({TTransNoneAction::kTag, &create<TTransNoneAction>, kTypeNone, both});
        registerAction({TTransTimerAction::kTag, &create<TTransTimerAction>, kTypeTimer, both});
    });
}

} // namespace Tr
