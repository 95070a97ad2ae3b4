#include "foundation/TIniFile.h"

#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"
#include "foundation/VException.h"

namespace Tr {
namespace {

using Vorn::VString;

constexpr int kAttempts = 5;
constexpr int kMaxItemLength = 0xFFFF;

const Vorn::TStringList& emptySection() {
    static const Vorn::TStringList empty;
    return empty;
}

// A header is "[" name "]" with a name of at least two bytes, nothing around it.
bool isSectionHeader(const VString& line) {
    int length = line.length();
    return length >= 4 && line.charAt(0) == '[' && line.charAt(length - 1) == ']';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

VString directoryOf(const VString& path) {
    int slash = path.lastIndexOf('/');
    return slash < 0 ? VString() : path.substring(0, slash == 0 ? 1 : slash);
}

} // namespace

TIniFile::TIniFile() : files_(&Platform::systemFileSystem()) {}

TIniFile::TIniFile(const VString& fileName, Platform::FileSystem& files)
    : fileName_(fileName), files_(&files) {}

TIniFile::~TIniFile() = default;

bool TIniFile::load() {
    isXml_ = false;
    isJson_ = false;
    std::string bytes;
    if (!files_->readAll(fileName_.c_str(), bytes)) {
        clear();
        return false;
    }
    std::string_view text(bytes);
    // A byte-order mark from a text editor would otherwise hide the first section header.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    VStringList lines;
    lines.setText(text);
    for (const VString& line : lines) {
        if (line.isEmpty())
            continue;
        if (line.startsWith("<?xml", true))
            isXml_ = true;
        else if (line.charAt(0) == '{')
            isJson_ = true;
        break;
    }
    if (isXml_ || isJson_) {
        clear();
        return false;
    }

    TStringList* current = nullptr;
    for (const VString& line : lines) {
        if (isSectionHeader(line))
            current = &sections_[line.substring(1, line.length() - 2)];
        else if (current)
            current->lines().add(line);
    }
    return true;
}

std::string TIniFile::toText() const {
    std::string text;
    for (const auto& [name, section] : sections_) {
        const VStringList& lines = section.lines();
        bool hasContent = false;
        for (const VString& line : lines)
            hasContent = hasContent || !line.isEmpty();
        if (!hasContent)
            continue;
        text.append("[").append(name.view()).append("]\n");
        for (const VString& line : lines) {
            if (!line.isEmpty())
                text.append(line.view()).append("\n");
        }
        text.append("\n");
    }
    return text;
}

VString TIniFile::chooseTempName() const {
    VString directory = directoryOf(fileName_);
    VString prefix = directory;
    if (!prefix.isEmpty() && prefix.charAt(prefix.length() - 1) != '/')
        prefix += '/';
    VString base = "temp";
    VString extension = ".tmp";
    if (files_->isFile(fileName_.c_str())) {
        VString name = fileName_.substring(directory.isEmpty() ? 0 : directory.length() + 1);
        VString stripped = name.stripExtension();
        base = stripped + "_tmp";
        extension = name.substring(stripped.length());
    }
    VString candidate;
    for (int tries = 0; tries < 100; ++tries) {
        candidate = prefix + base + VString::randomString(6, true) + extension;
        if (!files_->isFile(candidate.c_str()))
            break;
    }
    VString stem = candidate.substring(0, candidate.length() - extension.length());
    for (int counter = 1; candidate == fileName_ || files_->isFile(candidate.c_str()); ++counter)
        candidate = stem + VString::fromInt(counter) + extension;
    return candidate;
}

bool TIniFile::save() {
    VString directory = directoryOf(fileName_);
    if (!directory.isEmpty() && !files_->isDirectory(directory.c_str()))
        files_->createDirectories(directory.c_str());

    VString tempName;
    std::unique_ptr<Platform::WritableFile> file;
    for (int attempt = 1; attempt <= kAttempts && !file; ++attempt) {
        tempName = chooseTempName();
        file = files_->createNew(tempName.c_str());
        if (!file)
            Vorn::sleepMillis(5 * attempt);
    }
    if (!file)
        return false;

    std::string text = toText();
    bool written = file->write(text.data(), text.size());
    if (!written)
        Vorn::report(Vorn::kReportError, "inifile: cannot write to temp file: %s",
                     tempName.c_str());
    if (!file->close()) {
        Vorn::report(Vorn::kReportError, "inifile: cannot close temp file: %s", tempName.c_str());
        written = false;
    }
    if (!written) {
        files_->remove(tempName.c_str());
        return false;
    }

    // rename() replaces the target in one step: a reader sees the old file or the new one.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (files_->replace(tempName.c_str(), fileName_.c_str()))
            return true;
        Vorn::sleepMillis(1);
    }
    Vorn::report(Vorn::kReportError, "inifile: could not rename temp file to: %s",
                 fileName_.c_str());
    files_->remove(tempName.c_str());
    return false;
}

const Vorn::TStringList* TIniFile::findSection(const VString& name) const {
    auto found = sections_.find(name);
    return found == sections_.end() ? nullptr : &found->second;
}

const Vorn::TStringList& TIniFile::getSection(const VString& name, bool* found) const {
    const TStringList* section = findSection(name);
    if (found)
        *found = section != nullptr;
    return section ? *section : emptySection();
}

bool TIniFile::getSectionLines(const VString& name, VStringList& list) const {
    list.clear();
    const TStringList* section = findSection(name);
    if (!section)
        return false;
    list.addAll(section->lines());
    return true;
}

bool TIniFile::hasKey(const VString& section, const VString& key) const {
    const TStringList* found = findSection(section);
    return found && found->contains(key);
}

VString TIniFile::getValue(const VString& section, const VString& key,
                           const VString& defaultValue) const {
    const TStringList* found = findSection(section);
    return found ? found->get(key, defaultValue) : defaultValue;
}

void TIniFile::setValue(const VString& section, const VString& key, const VString& value) {
    sections_[section].set(key, value);
}

bool TIniFile::removeKey(const VString& section, const VString& key) {
    auto found = sections_.find(section);
    return found != sections_.end() && found->second.removeKey(key);
}

bool TIniFile::getBool(const VString& section, const VString& key, bool defaultValue) const {
    VString value = getValue(section, key);
    if (value.isEmpty())
        return defaultValue;
    char first = value.charAt(0);
    return first == '1' || first == 'T' || first == 't' || first == 'Y' || first == 'y';
}

void TIniFile::setBool(const VString& section, const VString& key, bool value) {
    setValue(section, key, value ? "1" : "0");
}

int TIniFile::getInt(const VString& section, const VString& key, int defaultValue) const {
    const TStringList* found = findSection(section);
    if (!found || !found->contains(key))
        return defaultValue;
    return found->get(key).toInt(defaultValue);
}

void TIniFile::setInt(const VString& section, const VString& key, int value) {
    setValue(section, key, VString::fromInt(value));
}

Vorn::VStringList TIniFile::sectionNames() const {
    VStringList names;
    for (const auto& entry : sections_)
        names.add(entry.first);
    return names;
}

void TIniFile::toLines(VStringList& list, const VString& prefix) const {
    for (const auto& [name, section] : sections_) {
        if (!prefix.isEmpty() && !name.startsWith(prefix, true))
            continue;
        list.add("[" + name + "]");
        list.addAll(section.lines());
    }
}

void TIniFile::appendItem(VString& text, const VString& item) {
    int length = item.length() > kMaxItemLength ? kMaxItemLength : item.length();
    text += VString::format("%04X", length);
    text.append(item.c_str(), length);
}

int TIniFile::readItem(const VString& text, int position, VString& item) {
    if (position < 0 || text.length() - position < 4)
        throw Vorn::VException("illegal ini format");
    int length = 0;
    int index = position;
    const int headerEnd = position + 4;
    while (index < headerEnd && text.charAt(index) >= 1 && text.charAt(index) <= 32)
        ++index;
    for (; index<headerEnd&& static_cast<unsigned char>(text.charAt(index))> 32; ++index) {
        if (!isHexDigit(text.charAt(index))) {
            length = 0;
            break;
        }
        length = length * 16 + hexValue(text.charAt(index));
    }
    if (text.length() - position - 4 < length)
        throw Vorn::VException("illegal ini format");
    item = text.substring(position + 4, length);
    return 4 + length;
}

} // namespace Tr
