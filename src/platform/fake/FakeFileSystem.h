#pragma once

#include "platform/FileSystem.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace Platform {

// Files held in memory, with failures a test can arrange. Thread-safe.
class FakeFileSystem final : public FileSystem {
public:
    struct Failures {
        int createNew = 0;        // the next N createNew calls fail
        bool write = false;       // every write fails
        bool close = false;       // every close fails
        int replace = 0;          // the next N replace calls fail
        bool createDirectories = false;
    };

    bool isFile(const std::string& path) override;
    bool isDirectory(const std::string& path) override;
    bool createDirectories(const std::string& path) override;
    bool readAll(const std::string& path, std::string& bytes) override;
    std::unique_ptr<WritableFile> createNew(const std::string& path) override;
    bool replace(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;

    void setFile(const std::string& path, const std::string& bytes);
    // The file's bytes, or empty when there is none.
    std::string file(const std::string& path) const;
    std::set<std::string> fileNames() const;
    Failures& failures() { return failures_; }
    int createNewCalls() const;

private:
    friend class FakeWritableFile;
    void finishWrite(const std::string& path, const std::string& bytes);

    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::set<std::string> directories_;
    Failures failures_;
    int createNewCalls_ = 0;
};

} // namespace Platform
