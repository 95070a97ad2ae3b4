#include "foundation/ErrorMessageCollector.h"

namespace Vorn {

void ErrorMessageCollector::message(int level, const VString& text) {
    static const char* const prefixes[] = {"ERROR: ", "WARNING: ", "INFO: ", "DEBUG: "};
    if (!messages_)
        messages_ = std::make_unique<VStringList>();
    VString line(level >= 0 && level <= kLevelDebug ? prefixes[level] : "");
    line.append(text);
    messages_->add(line);
}

const VStringList& ErrorMessageCollector::messages() const {
    static const VStringList none;
    return messages_ ? *messages_ : none;
}

} // namespace Vorn
