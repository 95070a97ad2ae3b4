#pragma once

#include "foundation/VString.h"

#include <stdexcept>

namespace Vorn {

// A failure inside the engine, carrying its message text. Loaders catch it per item and report
// the text, so one bad item never stops a whole load.
class VException : public std::runtime_error {
public:
    explicit VException(const VString& message)
        : std::runtime_error(message.c_str()), message_(message) {}

    const VString& message() const { return message_; }

private:
    VString message_;
};

} // namespace Vorn
