#include "host/LibraryInfo.h"

namespace Vorn {

const char* libraryVersion() { return CORVANE_VERSION; }

} // namespace Vorn
