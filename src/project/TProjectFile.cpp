#include "project/TProjectFile.h"

#include "engine/TErrorMessageHandler.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "foundation/ErrorMessages.h"
#include "foundation/VException.h"
#include "midi/MIDIRouter.h"
#include "project/ProjectTextCoding.h"

namespace Tr {

using Vorn::VString;

namespace {

VString presetSection(int index) {
    return VString(TProjectFile::kPresetSectionPrefix) + VString::fromInt(index);
}

bool isPresetSection(const VString& name) {
    const std::string_view text = name.view();
    const std::string_view prefix = TProjectFile::kPresetSectionPrefix;
    if (text.size() <= prefix.size() || text.substr(0, prefix.size()) != prefix)
        return false;
    for (const char c : text.substr(prefix.size()))
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Shared hold of the preset lock for one scope.
class ReadGuard {
public:
    explicit ReadGuard(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockRead(); }
    ~ReadGuard() { lock_.unlockRead(); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    Vorn::VRWLock& lock_;
};

// The change mark and the exclusive preset lock of a load, released on every way out.
class LoadGuard {
public:
    explicit LoadGuard(TPresetHandler& project) : project_(project) {
        project_.beginSuspend();
        project_.presetLock().lockWrite();
    }
    ~LoadGuard() {
        project_.presetLock().unlockWrite();
        project_.endSuspend();
    }
    LoadGuard(const LoadGuard&) = delete;
    LoadGuard& operator=(const LoadGuard&) = delete;

private:
    TPresetHandler& project_;
};

} // namespace

TProjectFile::TProjectFile(TPresetHandler& project, MIDIRouter* router, Platform::FileSystem& files)
    : project_(project), router_(router), files_(files) {}

void TProjectFile::saveToIni(TIniFile& ini) {
    ini.clear();
    ReadGuard guard(project_.presetLock());
    writeProjectSection(ini);
    for (int i = 0; i < project_.presetCount(); ++i)
        project_.preset(i)->save(ini, presetSection(i));
    if (router_)
        router_->save(ini);
    for (const auto& [name, lines] : keptSections_)
        ini.section(name).lines() = lines;
}

void TProjectFile::writeProjectSection(TIniFile& ini) {
    ini.setInt(kProjectSection, "Version", kVersion);
    properties_.version = kVersion;
    ini.setValue(kProjectSection, "Author", singleLineText(properties_.author));
    ini.setValue(kProjectSection, "AuthorContact", singleLineText(properties_.authorContact));
    ini.setValue(kProjectSection, "Comments", escapeProjectText(properties_.comments));
    ini.setValue(kProjectSection, "AuthorWWW", singleLineText(properties_.authorWWW));
    ini.setValue(kProjectSection, "AuthorCopyright", singleLineText(properties_.authorCopyright));
    ini.setValue(kProjectSection, "DefaultInPorts", project_.defaultInPorts());
    ini.setValue(kProjectSection, "DefaultOutPorts", project_.defaultOutPorts());
    if (properties_.appleScript.isEmpty())
        ini.removeKey(kProjectSection, "AppleScript");
    else
        ini.setValue(kProjectSection, "AppleScript", escapeProjectText(properties_.appleScript));
}

int TProjectFile::loadFromIni(TIniFile& ini, const VString& fileName,
                              Vorn::ErrorMessageCallback* errors, bool append) {
    LoadGuard guard(project_);
    if (!append) {
        project_.clearPresets();
        const VString keptFileName = properties_.fileName;
        properties_ = TProjectProperties();
        properties_.fileName = keptFileName;
        project_.setDefaultInPorts(VString());
        project_.setDefaultOutPorts(VString());
        keptSections_.clear();
    }
    readProjectSection(ini, errors, append);
    properties_.fileName = fileName;

    TCascadedErrorMessageHandler handler(nullptr, errors);
    for (int index = 0;; ++index) {
        const VString section = presetSection(index);
        if (!ini.hasSection(section))
            break;
        TTransList* preset = project_.addPreset(project_.presetCount());
        preset->load(ini, section, properties_.version, true, &handler);
        ini.removeSection(section);
    }
    if (router_ && ini.hasSection(MIDIRouter::kSection))
        router_->load(ini, errors);
    keepUnreadSections(ini, append);
    project_.setModified(false);
    return project_.presetCount();
}

void TProjectFile::readProjectSection(const TIniFile& ini, Vorn::ErrorMessageCallback* errors,
                                      bool append) {
    const int version = ini.getInt(kProjectSection, "Version", TProjectProperties::kUnknownVersion);
    properties_.version = version;
    if (version == TProjectProperties::kUnknownVersion)
        throw Vorn::VException(kNoVersion);
    if (version > kVersion && errors)
        errors->message(0, kLaterVersion);
    // Appending keeps the project's own properties.
    if (!append) {
        properties_.author = ini.getValue(kProjectSection, "Author");
        properties_.authorContact = ini.getValue(kProjectSection, "AuthorContact");
        properties_.comments = unescapeProjectText(ini.getValue(kProjectSection, "Comments"));
        properties_.authorWWW = ini.getValue(kProjectSection, "AuthorWWW");
        properties_.authorCopyright = ini.getValue(kProjectSection, "AuthorCopyright");
        properties_.appleScript = unescapeProjectText(ini.getValue(kProjectSection, "AppleScript"));
    }
    const VString in = ini.getValue(kProjectSection, "DefaultInPorts");
    if (!in.isEmpty())
        project_.setDefaultInPorts(in);
    const VString out = ini.getValue(kProjectSection, "DefaultOutPorts");
    if (!out.isEmpty())
        project_.setDefaultOutPorts(out);
}

void TProjectFile::keepUnreadSections(const TIniFile& ini, bool append) {
    for (const VString& name : ini.sectionNames()) {
        if (name == kProjectSection || isPresetSection(name) ||
            (router_ && name == MIDIRouter::kSection))
            continue;
        if (append && keptSections_.count(name))
            continue;
        Vorn::VStringList lines;
        ini.getSectionLines(name, lines);
        keptSections_[name] = lines;
    }
}

int TProjectFile::loadFromFile(const VString& fileName, Vorn::ErrorMessageCallback* errors,
                               bool append) {
    TIniFile ini(fileName, files_);
    if (!ini.load()) {
        if (ini.isXml() || ini.isJson())
            throw Vorn::VException(kIncompatibleFormat);
        throw Vorn::VException(VString(kReadFailed) + fileName);
    }
    return loadFromIni(ini, fileName, errors, append);
}

bool TProjectFile::saveToFile(const VString& fileName, Vorn::ErrorMessageCallback* errors) {
    try {
        TIniFile ini(fileName, files_);
        saveToIni(ini);
        if (!ini.save())
            throw Vorn::VException(kSaveFailed);
        properties_.fileName = fileName;
        project_.setModified(false);
        return true;
    } catch (const Vorn::VException& e) {
        if (errors)
            errors->message(0, e.what());
        return false;
    }
}

} // namespace Tr
