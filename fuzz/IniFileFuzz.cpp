// Loads arbitrary bytes as an INI file; what save would write must load back to the same text,
// and reading length-prefixed items anywhere in a value must only ever succeed or throw.
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "platform/fake/FakeFileSystem.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Platform::FakeFileSystem files;
    files.setFile("/f.crvp", std::string(reinterpret_cast<const char*>(data), size));
    Tr::TIniFile ini("/f.crvp", files);
    if (!ini.load())
        return 0;
    std::string written = ini.toText();
    files.setFile("/g.crvp", written);
    Tr::TIniFile again("/g.crvp", files);
    if (!again.load() || again.toText() != written)
        std::abort();

    Vorn::VString text(std::string_view(reinterpret_cast<const char*>(data), size));
    Vorn::VString item;
    for (int position = 0; position < text.length(); ++position) {
        try {
            int used = Tr::TIniFile::readItem(text, position, item);
            if (used < 4 || used > text.length() - position)
                std::abort();
        } catch (const Vorn::VException&) {
        }
    }
    return 0;
}
