#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace Platform {

// A file being written. Data reaches stable storage only through close().
class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual bool write(const void* data, size_t size) = 0;
    // Flushes to stable storage and closes; false when either failed. Called once.
    virtual bool close() = 0;
};

// The file operations of the durable-save path. Paths are UTF-8 with '/' separators.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool isFile(const std::string& path) = 0;
    virtual bool isDirectory(const std::string& path) = 0;
    // Creates the directory and any missing parents; true when it exists afterwards.
    virtual bool createDirectories(const std::string& path) = 0;
    // Reads a whole file; false when it cannot be opened or read.
    virtual bool readAll(const std::string& path, std::string& bytes) = 0;
    // Creates a file that did not exist before (never an existing one); null on failure.
    virtual std::unique_ptr<WritableFile> createNew(const std::string& path) = 0;
    // Atomically puts `from` in the place of `to` (replacing it when present) and makes the
    // change durable; on failure `to` is as it was.
    virtual bool replace(const std::string& from, const std::string& to) = 0;
    virtual bool remove(const std::string& path) = 0;
};

// The operating system's files (the real backend; lives as long as the process).
FileSystem& systemFileSystem();

} // namespace Platform
