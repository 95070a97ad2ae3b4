#include "midi/MIDIAliasManager.h"

#include "engine/RecordValue.h"
#include "foundation/CurrentInstance.h"
#include "foundation/ErrorMessages.h"
#include "foundation/TIniFile.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAliasList.h"
#include "midi/MidiManager.h"

#include <memory>

namespace Tr {

using Vorn::ScopedLock;
using Vorn::VString;

namespace {
Vorn::CurrentInstance<MIDIAliasManager>& current() {
    static Vorn::CurrentInstance<MIDIAliasManager> instance;
    return instance;
}

// "<prefix> <n>" with an optional minus sign and decimal digits only.
bool isNumberedName(const VString& name, const VString& prefix) {
    if (!name.startsWith(prefix, true) || name.charAt(prefix.length()) != ' ')
        return false;
    int i = prefix.length() + 1;
    if (name.charAt(i) == '-')
        ++i;
    const int digits = i;
    while (name.charAt(i) >= '0' && name.charAt(i) <= '9')
        ++i;
    return i > digits && i == name.length();
}
} // namespace

MIDIAliasManager::Listener::~Listener() = default;

MIDIAliasManager* MIDIAliasManager::instance() {
    if (MIDIAliasManager* aliases = current().get())
        return aliases;
    return new MIDIAliasManager(); // becomes current; owned by the AutoDelete registry
}

MIDIAliasManager::MIDIAliasManager() {
    previous_ = current().enter(this);
}

MIDIAliasManager::~MIDIAliasManager() {
    current().leave(this, previous_);
}

MIDIAlias* MIDIAliasManager::find(const VString& name, int type) const {
    for (MIDIAlias* alias : aliases_)
        if (alias->type() == type && alias->isNamed(name))
            return alias;
    return nullptr;
}

MIDIAlias* MIDIAliasManager::getAlias(const VString& name, int type, bool create, int flags) {
    // An alias without a name could not be saved: an empty name ends the settings section.
    if ((type != MIDIAlias::kIn && type != MIDIAlias::kOut) || name.isEmpty())
        return nullptr;
    MIDIAlias* alias;
    bool isNew = false;
    {
        ScopedLock hold(&lock_);
        alias = find(name, type);
        if (!alias && create) {
            auto created = std::make_unique<MIDIAlias>(name, type, flags < 0 ? 0 : flags);
            alias = created.get();
            aliases_.add(created.release());
            isNew = true;
        }
        if (alias && create && flags < 0)
            alias->addFlags(MIDIAlias::kReferenced);
    }
    if (isNew)
        notifyListChanged();
    return alias;
}

void MIDIAliasManager::aliasesOfDevice(const VString& displayName, int type, MIDIAliasList& list) {
    ScopedLock hold(&lock_);
    for (MIDIAlias* alias : aliases_)
        if (alias->type() == type && type != MIDIAlias::kNone &&
            alias->deviceName().equals(displayName, true))
            list.add(alias);
}

int MIDIAliasManager::count() {
    ScopedLock hold(&lock_);
    int n = 0;
    for (const MIDIAlias* alias : aliases_)
        if (alias->type() != MIDIAlias::kNone)
            ++n;
    return n;
}

MIDIAlias* MIDIAliasManager::get(int index) {
    ScopedLock hold(&lock_);
    if (index < 0)
        return nullptr;
    for (MIDIAlias* alias : aliases_)
        if (alias->type() != MIDIAlias::kNone && index-- == 0)
            return alias;
    return nullptr;
}

int MIDIAliasManager::indexOf(const MIDIAlias* alias) {
    ScopedLock hold(&lock_);
    int index = 0;
    for (const MIDIAlias* candidate : aliases_) {
        if (candidate->type() == MIDIAlias::kNone)
            continue;
        if (candidate == alias)
            return index;
        ++index;
    }
    return -1;
}

bool MIDIAliasManager::rename(MIDIAlias* alias, const VString& name) {
    {
        ScopedLock hold(&lock_);
        if (!alias || alias->type() == MIDIAlias::kNone || alias->hasFlag(MIDIAlias::kInternal) ||
            name.isEmpty())
            return false;
        const MIDIAlias* other = find(name, alias->type());
        if (other && other != alias)
            return false;
        alias->setName(name);
    }
    recomputeAlternateNames();
    notifyAliasChanged(alias);
    return true;
}

void MIDIAliasManager::remove(MIDIAlias* alias) {
    if (!alias || alias->type() == MIDIAlias::kNone)
        return;
    {
        ScopedLock hold(&lock_);
        alias->clearType();
    }
    // Told as a change of the alias (routes are cut) and of the list.
    notifyAliasChanged(alias);
    notifyListChanged();
}

void MIDIAliasManager::setFlags(MIDIAlias* alias, int flags) {
    if (!alias || alias->type() == MIDIAlias::kNone)
        return;
    {
        ScopedLock hold(&lock_);
        alias->setFlags(flags);
    }
    notifyAliasChanged(alias);
}

bool MIDIAliasManager::setDevice(MIDIAlias* alias, const VString& deviceName) {
    {
        ScopedLock hold(&lock_);
        if (!alias || alias->type() == MIDIAlias::kNone || alias->hasFlag(MIDIAlias::kInternal))
            return false;
        alias->setDeviceName(deviceName);
    }
    notifyAliasChanged(alias);
    return true;
}

bool MIDIAliasManager::setDeviceOf(MIDIAlias* alias, const MIDIAlias* other) {
    if (!other)
        return false;
    VString deviceName;
    {
        ScopedLock hold(&lock_);
        deviceName = other->deviceName();
    }
    return setDevice(alias, deviceName);
}

void MIDIAliasManager::aliasesForPorts(const std::vector<std::pair<VString, bool>>& ports) {
    beginBatch();
    for (const auto& [name, isInput] : ports) {
        MIDIAlias* alias = getAlias(name, isInput ? MIDIAlias::kIn : MIDIAlias::kOut, true, 0);
        bool changed = false;
        {
            ScopedLock hold(&lock_);
            if (alias->deviceName() != name) {
                alias->setDeviceName(name);
                alias->addFlags(MIDIAlias::kNewlyBound);
                changed = true;
            }
        }
        if (changed)
            notifyAliasChanged(alias);
    }
    endBatch();
}

void MIDIAliasManager::updateNumberedAliases(const VString& prefix, int portCount) {
    constexpr int kMarked = MIDIAlias::kNumberedPortMarker | MIDIAlias::kInternal;
    beginBatch();
    for (int n = 1; n <= portCount; ++n)
        for (const int type : {int(MIDIAlias::kIn), int(MIDIAlias::kOut)}) {
            const VString name = VString::format("%s %d", prefix.c_str(), n);
            MIDIAlias* alias = getAlias(name, type, true, kMarked);
            ScopedLock hold(&lock_);
            alias->addFlags(kMarked);
        }
    std::vector<MIDIAlias*> gone;
    {
        ScopedLock hold(&lock_);
        for (MIDIAlias* alias : aliases_) {
            if (alias->type() == MIDIAlias::kNone ||
                alias->hasFlag(MIDIAlias::kNumberedPortMarker) ||
                !isNumberedName(alias->name(), prefix))
                continue;
            if (alias->hasFlag(MIDIAlias::kReferenced))
                alias->addFlags(MIDIAlias::kInternal); // the project still names it
            else
                gone.push_back(alias);
        }
        for (MIDIAlias* alias : aliases_)
            alias->clearFlags(MIDIAlias::kNumberedPortMarker);
    }
    for (MIDIAlias* alias : gone)
        remove(alias);
    endBatch();
}

void MIDIAliasManager::addProductNamePair(const VString& current, const VString& older) {
    {
        ScopedLock hold(&lock_);
        productNames_.emplace_back(current, older);
    }
    if (!current.isEmpty() && !older.isEmpty())
        recomputeAlternateNames();
}

void MIDIAliasManager::recomputeAlternateNames() {
    ScopedLock hold(&lock_);
    if (productNames_.empty())
        return;
    for (MIDIAlias* alias : aliases_) {
        if (alias->type() == MIDIAlias::kNone)
            continue;
        VString alternate;
        for (const auto& [current, older] : productNames_) {
            if (!current.isEmpty() && alias->name().startsWith(current, true)) {
                alternate = older + alias->name().substring(current.length());
                break;
            }
        }
        alias->setAlternateName(alternate);
    }
}

void MIDIAliasManager::addListener(Listener* listener) {
    ScopedLock hold(&lock_);
    if (listener)
        listeners_.addUnique(listener);
}

void MIDIAliasManager::removeListener(Listener* listener) {
    ScopedLock hold(&lock_);
    listeners_.remove(listener);
}

void MIDIAliasManager::beginBatch() {
    ScopedLock hold(&lock_);
    ++batch_;
}

void MIDIAliasManager::endBatch() {
    std::vector<MIDIAlias*> changed;
    bool listDue;
    {
        ScopedLock hold(&lock_);
        if (batch_ == 0 || --batch_ > 0)
            return;
        for (MIDIAlias* alias : aliases_)
            if (alias->type() != MIDIAlias::kNone && alias->hasFlag(MIDIAlias::kChangeDue)) {
                alias->clearFlags(MIDIAlias::kChangeDue);
                changed.push_back(alias);
            }
        listDue = listChangeDue_;
        listChangeDue_ = false;
    }
    for (MIDIAlias* alias : changed)
        notifyAliasChanged(alias);
    if (listDue)
        sendListChanged();
    recomputeAlternateNames();
}

void MIDIAliasManager::notifyListChanged() {
    {
        ScopedLock hold(&lock_);
        if (batch_ > 0) {
            listChangeDue_ = true;
            return;
        }
    }
    sendListChanged();
}

void MIDIAliasManager::sendListChanged() {
    Vorn::VList<Listener*> listeners;
    {
        ScopedLock hold(&lock_);
        listeners = listeners_;
    }
    // Called without the lock: listeners take the MIDI manager's lock, which is always taken
    // before this one.
    for (Listener* listener : listeners)
        listener->aliasListChanged();
    ScopedLock hold(&lock_);
    for (MIDIAlias* alias : aliases_)
        alias->clearFlags(MIDIAlias::kNewlyBound);
}

void MIDIAliasManager::notifyAliasChanged(MIDIAlias* alias) {
    Vorn::VList<Listener*> listeners;
    {
        ScopedLock hold(&lock_);
        if (batch_ > 0) {
            alias->addFlags(MIDIAlias::kChangeDue);
            return;
        }
        listeners = listeners_;
    }
    for (Listener* listener : listeners)
        listener->aliasChanged(alias);
}

// ---- settings -------------------------------------------------------------------------------

void MIDIAliasManager::save(TIniFile& ini, MidiManager* manager) {
    struct Saved {
        VString name;
        VString deviceName;
        int type;
        int flags;
    };
    std::vector<Saved> candidates;
    {
        ScopedLock hold(&lock_);
        for (const MIDIAlias* alias : aliases_) {
            if (alias->type() == MIDIAlias::kNone || alias->hasFlag(MIDIAlias::kInternal))
                continue;
            if (alias->deviceName().isEmpty() && !alias->hasFlag(MIDIAlias::kPersistent))
                continue;
            candidates.push_back(
                Saved{alias->name(), alias->deviceName(), alias->type(), alias->flags()});
        }
    }
    int n = 0;
    for (const Saved& alias : candidates) {
        // A port's own alias is kept only while its port is wanted.
        if (manager && alias.name.equals(alias.deviceName, true) &&
            !manager->isPendingOrOpen(alias.deviceName, alias.type == MIDIAlias::kIn))
            continue;
        const VString device =
            alias.deviceName.isEmpty() ? VString(MIDIAlias::kNonePersistent) : alias.deviceName;
        // Names with a line break or a leading blank or quote are quoted so they read back.
        ini.setValue(kSection, VString::format("Name%d", n), encodeRecordValue(alias.name));
        ini.setValue(kSection, VString::format("Device%d", n),
                     encodeRecordValue(VString::format("%d:%s", alias.type, device.c_str())));
        ++n;
    }
    for (; ini.hasKey(kSection, VString::format("Name%d", n)); ++n) {
        ini.removeKey(kSection, VString::format("Name%d", n));
        ini.removeKey(kSection, VString::format("Device%d", n));
    }
}

void MIDIAliasManager::load(const TIniFile& ini) {
    if (!loadSettings_)
        return;
    beginBatch();
    for (int n = 0;; ++n) {
        const VString name = ini.getValue(kSection, VString::format("Name%d", n));
        if (name.isEmpty())
            break;
        const VString device = ini.getValue(kSection, VString::format("Device%d", n));
        const int colon = device.indexOf(':');
        int type = MIDIAlias::kNone;
        VString deviceName;
        if (colon >= 0) {
            int64_t value = -1;
            if (device.substring(0, colon).parseInt64(0, -1, value) && value >= 0 && value <= 2) {
                type = int(value);
                deviceName = device.substring(colon + 1);
            }
        }
        if (type == MIDIAlias::kNone)
            continue; // nothing an alias without type could stand for
        const bool persistent = deviceName.equals(MIDIAlias::kNonePersistent, true);
        if (persistent)
            deviceName = VString();
        MIDIAlias* alias = getAlias(name, type, true, 0);
        {
            ScopedLock hold(&lock_);
            alias->setDeviceName(deviceName);
            if (persistent)
                alias->addFlags(MIDIAlias::kPersistent);
            else
                alias->clearFlags(MIDIAlias::kPersistent);
        }
        notifyAliasChanged(alias);
    }
    settingsLoaded_ = true;
    notifyListChanged();
    endBatch();
}

MIDIAlias* MIDIAliasManager::readElement(const Vorn::XmlElement& element,
                                         Vorn::ErrorMessageCallback* errors) {
    auto fail = [errors](const VString& text) -> MIDIAlias* {
        if (errors)
            errors->message(Vorn::kLevelError, text);
        else
            Vorn::reportError("%s", text.c_str());
        return nullptr;
    };
    if (!element.hasAttribute("Name"))
        return fail("Alias does not define a name in XML.");
    const VString name = element.attribute("Name");
    const VString typeText = element.attribute("Type");
    const int type = typeText.equals("in", true)    ? MIDIAlias::kIn
                     : typeText.equals("out", true) ? MIDIAlias::kOut
                                                    : MIDIAlias::kNone;
    if (type == MIDIAlias::kNone)
        return fail(VString::format("Alias %s: does not define alias type in XML.", name.c_str()));
    MIDIAlias* alias = getAlias(name, type, true, -1);
    if (!alias)
        return nullptr;
    const VString device = element.attribute("Device");
    bool unbound;
    {
        ScopedLock hold(&lock_);
        unbound = alias->deviceName().isEmpty();
        if (unbound && device.equals(MIDIAlias::kNonePersistent, true))
            alias->addFlags(MIDIAlias::kPersistent);
    }
    if (unbound && !device.isEmpty() && !device.equals(MIDIAlias::kNonePersistent, true))
        setDevice(alias, device);
    return alias;
}

} // namespace Tr
