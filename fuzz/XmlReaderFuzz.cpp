// Reads arbitrary text; whatever reads must write in both forms, and the compact form must read
// back to a tree that writes the very same compact text.
#include "foundation/VStreams.h"
#include "foundation/XmlElement.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Vorn::VString text(std::string_view(reinterpret_cast<const char*>(data), size));
    Vorn::VString error;
    std::unique_ptr<Vorn::XmlElement> root = Vorn::XmlElement::parse(text, error);
    if (!root) {
        if (error.isEmpty()) {
            abort();
        }
        return 0;
    }
    Vorn::VMemOutputStream indented;
    root->write(indented, 0);
    const Vorn::VString compact = root->toString();

    std::unique_ptr<Vorn::XmlElement> reread = Vorn::XmlElement::parse(compact, error);
    if (!reread || reread->toString() != compact) {
        abort();
    }
    std::unique_ptr<Vorn::XmlElement> rereadIndented =
        Vorn::XmlElement::parse(indented.toString(), error);
    if (!rereadIndented) {
        abort();
    }
    return 0;
}
