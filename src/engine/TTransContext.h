#pragma once

#include <cstdint>

namespace Tr {

class TGlobalTranslateParams;
class TTransMsg;
class TTransList;

// What an outgoing action receives when it executes.
struct TTransContext {
    TGlobalTranslateParams* globals;
    int32_t translatorIndex;
    TTransMsg* translator;
    int32_t presetIndex;
    TTransList* preset;
    // The ten locals: the event's own while executing directly, the dispatcher node's private
    // copy (as they were at matching time) once queued.
    int32_t* locals;
};

} // namespace Tr
