#pragma once

#include "foundation/TIniFile.h"
#include "platform/FileSystem.h"
#include "project/TProjectProperties.h"

#include <map>

namespace Vorn {
class ErrorMessageCallback;
}

namespace Tr {

class MIDIRouter;
class TPresetHandler;

// Reads and writes a whole project: the "Project" section, one "Preset.<index>" section per
// preset, the MIDI routes and the sections of the port and device kinds. Sections this class
// does not read itself (serial MIDI ports, device types) are kept as read and written back.
//
// Threads: the host's thread. Loading holds the preset lock exclusively, saving holds it shared.
class TProjectFile {
public:
    static constexpr int kVersion = 2;
    static constexpr const char* kProjectSection = "Project";
    static constexpr const char* kPresetSectionPrefix = "Preset.";

    static constexpr const char* kIncompatibleFormat =
        "This project file is incompatible with this version of Corvane.\nPlease update Corvane "
        "in order use this project file.";
    static constexpr const char* kNoVersion =
        "This project file is not compatible with this version of Corvane. \nPlease try to get an "
        "updated project file.";
    static constexpr const char* kLaterVersion =
        "This project file was created with a later version of Corvane.\n    The file will be "
        "loaded, but newer features will be ignored.\n    Also, you may see error messages for "
        "specific translators that are not supported.\n    Be careful when saving this project "
        "file, as some of the newer features will be lost when saving.\n";
    static constexpr const char* kSaveFailed = "Error saving project to file.";
    static constexpr const char* kReadFailed = "Error reading file: ";

    // router (may be null) stores the routes; without one the route section is kept as read.
    TProjectFile(TPresetHandler& project, MIDIRouter* router = nullptr,
                 Platform::FileSystem& files = Platform::systemFileSystem());

    TProjectProperties& properties() { return properties_; }
    const TProjectProperties& properties() const { return properties_; }

    // Empties the container and writes the whole project into it.
    void saveToIni(TIniFile& ini);
    // Reads the project from a loaded container, replacing the current one or (append) adding
    // its presets after the existing ones. Returns the number of presets afterwards. Throws
    // Vorn::VException for a file without a readable version; preset and translator problems go
    // to errors (may be null) and loading goes on.
    int loadFromIni(TIniFile& ini, const Vorn::VString& fileName,
                    Vorn::ErrorMessageCallback* errors, bool append);
    // Throws Vorn::VException when the file cannot be read or is not a project file.
    int loadFromFile(const Vorn::VString& fileName, Vorn::ErrorMessageCallback* errors,
                     bool append);
    // False, with the message sent to errors as an error, when the file could not be written;
    // the file on disk is then as it was.
    bool saveToFile(const Vorn::VString& fileName, Vorn::ErrorMessageCallback* errors);

private:
    void writeProjectSection(TIniFile& ini);
    void readProjectSection(const TIniFile& ini, Vorn::ErrorMessageCallback* errors, bool append);
    // Keeps every section no reader took (the preset sections excepted).
    void keepUnreadSections(const TIniFile& ini, bool append);

    TPresetHandler& project_;
    MIDIRouter* router_;
    Platform::FileSystem& files_;
    TProjectProperties properties_;
    std::map<Vorn::VString, Vorn::VStringList> keptSections_;
};

} // namespace Tr
