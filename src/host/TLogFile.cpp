#include "host/TLogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tr {

TLogFile::TLogFile(std::string path) : path_(std::move(path)) {}

TLogFile::~TLogFile() {
    closeFile();
}

std::string TLogFile::defaultPath(const std::string& programName) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    else
        return {};
    return base + "/corvane/" + programName + ".log";
}

std::string TLogFile::backupPath(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + "1";
    return path.substr(0, dot) + "1" + path.substr(dot);
}

bool TLogFile::createFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    std::string folder = path.substr(0, slash);
    for (size_t next = folder.find('/', 1);; next = folder.find('/', next + 1)) {
        std::string part = folder.substr(0, next);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (next == std::string::npos)
            break;
    }
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void TLogFile::closeFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TLogFile::openFile() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return false;
    struct stat info;
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        closeFile();
        return false;
    }
    return true;
}

bool TLogFile::append(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    int64_t size = 0;
    if (fd_ >= 0) {
        // A file removed or moved away since it was opened counts as empty: start a new one.
        struct stat byName, byHandle;
        if (::lstat(path_.c_str(), &byName) != 0 || ::fstat(fd_, &byHandle) != 0 ||
            byName.st_ino != byHandle.st_ino || byName.st_dev != byHandle.st_dev)
            closeFile();
        else
            size = byHandle.st_size;
    }
    if (size > kRotateBytes) {
        closeFile();
        std::string backup = backupPath(path_);
        ::unlink(backup.c_str());
        ::rename(path_.c_str(), backup.c_str());
    }
    if (fd_ < 0 && !openFile())
        return false;

    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stampText[48];
    std::snprintf(stampText, sizeof stampText,
                  "%d-%02d-%02d %02d:%02d:%02d: ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string line = stampText + text + "\n";
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace Tr
