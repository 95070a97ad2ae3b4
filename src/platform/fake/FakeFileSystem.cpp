#include "platform/fake/FakeFileSystem.h"

namespace Platform {

class FakeWritableFile final : public WritableFile {
public:
    FakeWritableFile(FakeFileSystem& owner, std::string path)
        : owner_(owner), path_(std::move(path)) {}

    bool write(const void* data, size_t size) override {
        if (owner_.failures().write)
            return false;
        bytes_.append(static_cast<const char*>(data), size);
        return true;
    }

    bool close() override {
        owner_.finishWrite(path_, bytes_);
        return !owner_.failures().close;
    }

private:
    FakeFileSystem& owner_;
    std::string path_;
    std::string bytes_;
};

bool FakeFileSystem::isFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

bool FakeFileSystem::isDirectory(const std::string& path) {
    std::lock_guard lock(mutex_);
    return path.empty() || path == "." || path == "/" || directories_.count(path) != 0;
}

bool FakeFileSystem::createDirectories(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (failures_.createDirectories)
        return false;
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        directories_.insert(path.substr(0, slash));
    directories_.insert(path);
    return true;
}

bool FakeFileSystem::readAll(const std::string& path, std::string& bytes) {
    std::lock_guard lock(mutex_);
    auto found = files_.find(path);
    if (found == files_.end())
        return false;
    bytes = found->second;
    return true;
}

std::unique_ptr<WritableFile> FakeFileSystem::createNew(const std::string& path) {
    std::lock_guard lock(mutex_);
    ++createNewCalls_;
    if (failures_.createNew > 0) {
        --failures_.createNew;
        return nullptr;
    }
    if (files_.count(path) != 0)
        return nullptr;
    files_[path];
    return std::make_unique<FakeWritableFile>(*this, path);
}

bool FakeFileSystem::replace(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex_);
    if (failures_.replace > 0) {
        --failures_.replace;
        return false;
    }
    auto found = files_.find(from);
    if (found == files_.end())
        return false;
    files_[to] = found->second;
    files_.erase(from);
    return true;
}

bool FakeFileSystem::remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.erase(path) != 0;
}

void FakeFileSystem::setFile(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = bytes;
}

std::string FakeFileSystem::file(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto found = files_.find(path);
    return found == files_.end() ? std::string() : found->second;
}

std::set<std::string> FakeFileSystem::fileNames() const {
    std::lock_guard lock(mutex_);
    std::set<std::string> names;
    for (const auto& entry : files_)
        names.insert(entry.first);
    return names;
}

int FakeFileSystem::createNewCalls() const {
    std::lock_guard lock(mutex_);
    return createNewCalls_;
}

void FakeFileSystem::finishWrite(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = bytes;
}

} // namespace Platform
