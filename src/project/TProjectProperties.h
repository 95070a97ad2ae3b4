#pragma once

#include "foundation/VString.h"

namespace Tr {

// The properties a project file keeps besides its presets.
struct TProjectProperties {
    static constexpr int kUnknownVersion = -1;

    int version = kUnknownVersion; // the version of the file last loaded or saved
    Vorn::VString fileName;
    Vorn::VString author;
    Vorn::VString authorContact;
    Vorn::VString comments;
    Vorn::VString authorWWW;
    Vorn::VString authorCopyright;
    Vorn::VString appleScript;
};

} // namespace Tr
