#pragma once

#include "engine/TTransAction.h"
#include "foundation/VString.h"

#include <memory>
#include <vector>

namespace Tr {

// Capability bits of an action class.
inline constexpr int kCapabilityIncoming = 1;
inline constexpr int kCapabilityOutgoing = 2;

// One action class: its four-character tag, a factory for either role, its type code and the
// roles it may take.
struct TActionRegistryEntry {
    using Factory = std::unique_ptr<TTransAction> (*)(bool incoming);

    Vorn::VString tag;
    Factory factory = nullptr;
    int type = 0;
    int capabilities = 0;
};

// The process-wide registry, ordered by tag. Every function is thread-safe; registration happens
// at start-up (never by static initialisation, which static libraries may drop).

// A second registration of a tag replaces the first.
void registerAction(const TActionRegistryEntry& entry);
// The action whose class the first four characters of text name exactly, created for the role
// and post-created, still empty (the caller runs fromString). Null for an unknown tag or a text
// shorter than a tag.
std::unique_ptr<TTransAction> createAction(const Vorn::VString& text, bool incoming);
// The type codes of the entries usable as incoming and as outgoing actions, in tag order (one
// code per entry).
void listTypes(std::vector<int>& incomingTypes, std::vector<int>& outgoingTypes);
// The registry entry of a tag, or false.
bool findAction(const Vorn::VString& tag, TActionRegistryEntry& entry);

// Registers the engine's own classes (Pres, EnDi, None, Tim0). Idempotent and thread-safe; the
// engine calls it on construction, tests that create actions without an engine call it themselves.
void registerEngineActions();

} // namespace Tr
