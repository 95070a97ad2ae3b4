#pragma once

namespace Vorn {

// Base of long-lived singletons: each instance is listed in a process-wide registry from its
// construction until its destruction, and deleteAllAutoDelete() deletes whatever is still
// listed, newest first. Safe to construct and destroy on any thread.
class AutoDelete {
public:
    AutoDelete();
    virtual ~AutoDelete();
    AutoDelete(const AutoDelete&) = delete;
    AutoDelete& operator=(const AutoDelete&) = delete;
};

// Called once when the library unloads: deletes every registered object in reverse order of
// creation, then the registry itself and the error-callback registry. Objects created while it
// runs are not registered.
void deleteAllAutoDelete();

} // namespace Vorn
