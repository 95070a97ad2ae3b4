#pragma once

namespace Vorn {

// The product's version text, as built into the library.
const char* libraryVersion();

} // namespace Vorn
