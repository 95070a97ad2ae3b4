#include "foundation/AutoDelete.h"

#include "foundation/ErrorMessages.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace Vorn {
namespace {

struct Registry {
    std::mutex mutex;
    int shuttingDown = 0;
    std::unique_ptr<std::vector<AutoDelete*>> objects; // created on first use
};

Registry& registry() {
    static Registry state;
    return state;
}

} // namespace

AutoDelete::AutoDelete() {
    Registry& state = registry();
    std::lock_guard hold(state.mutex);
    if (state.shuttingDown != 0)
        return;
    if (!state.objects)
        state.objects = std::make_unique<std::vector<AutoDelete*>>();
    if (std::find(state.objects->begin(), state.objects->end(), this) == state.objects->end())
        state.objects->push_back(this);
}

AutoDelete::~AutoDelete() {
    Registry& state = registry();
    std::lock_guard hold(state.mutex);
    if (state.shuttingDown != 0 || !state.objects)
        return;
    auto found = std::find(state.objects->begin(), state.objects->end(), this);
    if (found != state.objects->end())
        state.objects->erase(found);
}

void deleteAllAutoDelete() {
    Registry& state = registry();
    std::unique_ptr<std::vector<AutoDelete*>> objects;
    {
        std::lock_guard hold(state.mutex);
        ++state.shuttingDown;
        objects = std::move(state.objects);
    }
    // Deleted outside the lock: destructors may create or look up other singletons.
    if (objects) {
        for (auto object = objects->rbegin(); object != objects->rend(); ++object)
            delete *object;
    }
    {
        std::lock_guard hold(state.mutex);
        --state.shuttingDown;
    }
    objects.reset();
    deleteErrorCallbackRegistry();
}

} // namespace Vorn
