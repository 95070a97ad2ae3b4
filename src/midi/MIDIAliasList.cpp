#include "midi/MIDIAliasList.h"

#include "engine/ActionFields.h"
#include "foundation/VException.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"

namespace Tr {

using Vorn::VString;

namespace {
// The longest count four hexadecimal digits can carry.
constexpr int kMaxCompactCount = 0xFFFF;
} // namespace

void MIDIAliasList::add(MIDIAlias* const& alias) {
    if (alias && !contains(alias))
        VList<MIDIAlias*>::add(alias);
}

VString MIDIAliasList::displayText() const {
    VString text;
    for (const MIDIAlias* alias : *this) {
        if (!text.isEmpty())
            text += ", ";
        text += alias->name();
    }
    return text;
}

bool MIDIAliasList::isBoundTo(int slot) const {
    if (slot < 0)
        return false;
    for (const MIDIAlias* alias : *this)
        if (alias->deviceSlot() == slot && alias->type() != MIDIAlias::kNone)
            return true;
    return false;
}

VString MIDIAliasList::toCompact(int type) const {
    VString text;
    appendCompact(text, type);
    return text;
}

void MIDIAliasList::appendCompact(VString& text, int type) const {
    int count = 0;
    for (const MIDIAlias* alias : *this)
        if (alias->type() == type && count < kMaxCompactCount)
            ++count;
    text += kCompactMagic;
    text += VString::format("%04X", count);
    int written = 0;
    for (const MIDIAlias* alias : *this) {
        if (alias->type() != type || written == count)
            continue;
        appendTextField(text, alias->name());
        ++written;
    }
}

int MIDIAliasList::readCompact(const VString& text, int position, int type, bool create,
                               MIDIAliasManager* aliases) {
    clear();
    if (!text.substring(position, 4).equals(kCompactMagic))
        return 0;
    if (text.length() < position + 8)
        throw Vorn::VException("Wrong string format");
    const int count = std::max(0, readHexDigits(text, position + 4, 4));
    MIDIAliasManager* manager = aliases ? aliases : MIDIAliasManager::instance();
    int at = position + 8;
    for (int i = 0; i < count; ++i) {
        VString name;
        at += readTextField(text, at, name);
        if (MIDIAlias* alias = manager->getAlias(name, type, create, -1))
            add(alias);
    }
    return at - position;
}

std::unique_ptr<Vorn::XmlElement> MIDIAliasList::toElement(int type) const {
    auto ports = std::make_unique<Vorn::XmlElement>("Ports");
    bool any = false;
    for (const MIDIAlias* alias : *this) {
        if (alias->type() != type || alias->name().isEmpty())
            continue;
        ports->addTextChild("Port", alias->name());
        any = true;
    }
    return any ? std::move(ports) : nullptr;
}

void MIDIAliasList::readElement(const Vorn::XmlElement& ports, int type, bool create,
                                MIDIAliasManager* aliases) {
    clear();
    MIDIAliasManager* manager = aliases ? aliases : MIDIAliasManager::instance();
    for (const Vorn::XmlElement* port = ports.child("Port"); port;
         port = port->nextSibling("Port")) {
        const VString name = port->text();
        if (name.isEmpty())
            continue;
        if (MIDIAlias* alias = manager->getAlias(name, type, create, -1))
            add(alias);
    }
}

} // namespace Tr
