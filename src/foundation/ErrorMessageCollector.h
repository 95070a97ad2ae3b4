#pragma once

#include "foundation/ErrorMessages.h"
#include "foundation/VStringList.h"

#include <memory>

namespace Vorn {

// Gathers messages with their level prefix ("ERROR: ", "WARNING: ", "INFO: ", "DEBUG: "), for
// example the problems found while loading a project, to show them together. When registered,
// the registry calls message() one call at a time; read messages() once no report is running.
class ErrorMessageCollector : public ErrorMessageCallback {
public:
    void message(int level, const VString& text) override;

    // The collected lines in arrival order; empty until the first message.
    const VStringList& messages() const;

private:
    std::unique_ptr<VStringList> messages_; // created on the first message
};

} // namespace Vorn
