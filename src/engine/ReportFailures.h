#pragma once

#include "foundation/ErrorMessages.h"
#include "foundation/VException.h"

#include <exception>

namespace Tr {

// Runs work and reports whatever it throws to the error collector instead of letting it reach
// the thread that delivered the event (an input callback, the dispatcher loop).
template <class Work> void runReportingFailures(Work&& work) {
    try {
        work();
    } catch (const Vorn::VException& exception) {
        Vorn::reportError("%s", exception.message().c_str());
    } catch (const std::exception& exception) {
        Vorn::reportError("%s", exception.what());
    } catch (...) {
        Vorn::reportError("Unknown in during Outgoing Action processing.");
    }
}

} // namespace Tr
