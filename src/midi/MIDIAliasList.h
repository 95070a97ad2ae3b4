#pragma once

#include "foundation/VList.h"
#include "foundation/VString.h"

#include <memory>

namespace Vorn {
class XmlElement;
}

namespace Tr {

class MIDIAlias;
class MIDIAliasManager;

// The port list of an action, a preset or the project: alias pointers, not owned (the alias
// manager keeps every alias alive). Adding an alias already in the list does nothing.
// Not thread-safe; input threads read a list only while its owner does not change it.
class MIDIAliasList : public Vorn::VList<MIDIAlias*> {
public:
    static constexpr const char* kCompactMagic = "MIDA";

    void add(MIDIAlias* const& alias) override;

    // The alias names joined with ", ".
    Vorn::VString displayText() const;
    // Whether an alias of the list is bound to the entry slot (deviceSlot equals it). Any thread.
    bool isBoundTo(int slot) const;

    // The compact form: "MIDA", the count of aliases of that type as 4 upper-case hexadecimal
    // digits, then each such alias name as a text field (4 hexadecimal length digits and the
    // name). Aliases of other types are left out.
    Vorn::VString toCompact(int type) const;
    void appendCompact(Vorn::VString& text, int type) const;
    // Clears the list and reads the compact form at position: returns the characters consumed,
    // or 0 (list left empty) when the text there does not start with "MIDA". Each name is
    // resolved with getAlias(name, type, create, -1) of the alias manager (the current one when
    // none is given). Throws Vorn::VException "Wrong string format" for a cut-short field.
    int readCompact(const Vorn::VString& text, int position, int type, bool create = true,
                    MIDIAliasManager* aliases = nullptr);

    // The XML form: an element "Ports" with one child "Port" per alias of that type holding the
    // name as text (empty names skipped). Null when no alias is written.
    std::unique_ptr<Vorn::XmlElement> toElement(int type) const;
    // Replaces the list by the "Port" children of a "Ports" element, each resolved as above.
    void readElement(const Vorn::XmlElement& ports, int type, bool create = true,
                     MIDIAliasManager* aliases = nullptr);
};

} // namespace Tr
