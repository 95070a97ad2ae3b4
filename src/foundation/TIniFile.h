#pragma once

#include "foundation/TStringList.h"
#include "foundation/VString.h"
#include "foundation/VStringList.h"
#include "platform/FileSystem.h"

#include <map>

namespace Tr {

// Named sections of text lines, stored as a plain INI file or used in memory only. Every line of
// a section is kept exactly as read; keys are found through the section's TStringList index.
// Not thread-safe: one thread creates, fills and saves a container.
class TIniFile {
public:
    using VString = Vorn::VString;
    using TStringList = Vorn::TStringList;
    using VStringList = Vorn::VStringList;

    TIniFile(); // in memory only
    explicit TIniFile(const VString& fileName,
                      Platform::FileSystem& files = Platform::systemFileSystem());
    virtual ~TIniFile();

    const VString& fileName() const { return fileName_; }

    // Reads the file into the container (sections already present receive the new lines).
    // False when the file cannot be read or looks like XML or JSON; then the container is empty.
    bool load();
    // Replaces the file atomically: the old file stays as it was unless the new one is complete.
    bool save();
    bool isXml() const { return isXml_; }
    bool isJson() const { return isJson_; }
    void clear() { sections_.clear(); }

    // The section, or a shared empty list when there is none.
    const TStringList& getSection(const VString& name, bool* found = nullptr) const;
    bool hasSection(const VString& name) const { return sections_.count(name) != 0; }
    bool removeSection(const VString& name) { return sections_.erase(name) != 0; }
    bool getSectionLines(const VString& name, VStringList& list) const;
    // The names of all sections, in section order.
    VStringList sectionNames() const;
    // The section for appending lines, created when missing.
    TStringList& section(const VString& name) { return sections_[name]; }

    bool hasKey(const VString& section, const VString& key) const;
    VString getValue(const VString& section, const VString& key,
                     const VString& defaultValue = VString()) const;
    void setValue(const VString& section, const VString& key, const VString& value);
    bool removeKey(const VString& section, const VString& key);
    bool getBool(const VString& section, const VString& key, bool defaultValue) const;
    void setBool(const VString& section, const VString& key, bool value);
    int getInt(const VString& section, const VString& key, int defaultValue) const;
    void setInt(const VString& section, const VString& key, int value);

    // Appends "[name]" and every line of each section whose name starts with prefix (ignoring
    // ASCII case; an empty prefix takes all), in section order.
    void toLines(VStringList& list, const VString& prefix) const;
    // The file's text as save writes it.
    std::string toText() const;

    // Length-prefixed items: four upper-case hexadecimal digits, then the bytes.
    static void appendItem(VString& text, const VString& item);
    // Reads the item at position and returns the bytes consumed; throws VException
    // "illegal ini format" when the text is too short for its header or its length.
    static int readItem(const VString& text, int position, VString& item);

private:
    const TStringList* findSection(const VString& name) const;
    VString chooseTempName() const;
    bool writeTo(const VString& tempName);

    VString fileName_;
    std::map<VString, TStringList> sections_;
    bool isXml_ = false;
    bool isJson_ = false;
    Platform::FileSystem* files_;
};

} // namespace Tr
