#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

bool syncDirectoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

class LinuxWritableFile final : public WritableFile {
public:
    explicit LinuxWritableFile(int fd) : fd_(fd) {}
    ~LinuxWritableFile() override {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool write(const void* data, size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t written = ::write(fd_, bytes, size);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            bytes += written;
            size -= size_t(written);
        }
        return true;
    }

    bool close() override {
        bool synced = ::fsync(fd_) == 0;
        bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return synced && closed;
    }

private:
    int fd_;
};

class LinuxFileSystem final : public FileSystem {
public:
    bool isFile(const std::string& path) override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    }

    bool isDirectory(const std::string& path) override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    bool createDirectories(const std::string& path) override {
        std::error_code error;
        std::filesystem::create_directories(path, error);
        return isDirectory(path);
    }

    bool readAll(const std::string& path, std::string& bytes) override {
        std::ifstream in(path, std::ios::binary);
        if (!in || isDirectory(path))
            return false;
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return false;
        bytes = std::move(content);
        return true;
    }

    std::unique_ptr<WritableFile> createNew(const std::string& path) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0)
            return nullptr;
        return std::make_unique<LinuxWritableFile>(fd);
    }

    bool replace(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0)
            return false;
        syncDirectoryOf(to);
        return true;
    }

    bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

} // namespace

FileSystem& systemFileSystem() {
    static LinuxFileSystem fileSystem;
    return fileSystem;
}

} // namespace Platform
