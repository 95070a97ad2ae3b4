#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace Tr {

// The master's log file: one line per call, "YYYY-MM-DD hh:mm:ss: text\n" in local time. Once
// the file has grown past kRotateBytes it becomes the backup (the name with "1" before the
// extension, replacing an older backup) and a new file is started.
//
// The file is created with mode 0600 and never through a symbolic link: a link (or anything
// but a regular file) at the name makes the line be dropped.
//
// Threads: append from any thread; lines are written whole, one at a time.
class TLogFile {
public:
    static constexpr int64_t kRotateBytes = 262144;

    explicit TLogFile(std::string path);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // The default file for a program: $XDG_STATE_HOME/corvane/<program>.log, with
    // $XDG_STATE_HOME defaulting to $HOME/.local/state. Empty when neither is set.
    static std::string defaultPath(const std::string& programName);
    // "dir/name.log" -> "dir/name1.log"; a name without extension gets "1" appended.
    static std::string backupPath(const std::string& path);
    // Creates the folder of path (mode 0700 for the parts it creates); false when it cannot.
    static bool createFolder(const std::string& path);

    const std::string& path() const { return path_; }
    // False when the line was dropped (the file cannot be opened or written).
    bool append(const std::string& text);

private:
    void closeFile();
    bool openFile();

    std::mutex lock_;
    const std::string path_;
    int fd_ = -1;
};

} // namespace Tr
