#pragma once

#include "foundation/VString.h"
#include "platform/InstanceChannel.h"

#include <atomic>
#include <memory>

namespace Vorn {

// A named message pipe between processes of one user. The server end creates it and reads one
// message per client; a client opens it and writes. read() runs on the server's reader thread;
// close() may come from any thread and releases that reader. Other calls: the owner's thread.
class VNamedPipe {
public:
    static constexpr int kReadSize = 256;
    static constexpr int kBusyWaitMillis = 3000;

    enum OpenResult { kOpened = 0, kOpenError = 1, kOpenTimedOut = 2, kOpenModeFailed = 3 };

    explicit VNamedPipe(const VString& name);
    // With another channel backend (tests); channels must outlive the pipe.
    VNamedPipe(const VString& name, Platform::InstanceChannels& channels);
    ~VNamedPipe();
    VNamedPipe(const VNamedPipe&) = delete;
    VNamedPipe& operator=(const VNamedPipe&) = delete;

    // The name with every '\\', ':' and '/' replaced by '_'.
    static VString safeName(const VString& name);
    // "\\.\pipe\" followed by the safe name: the pipe's identity in messages and settings.
    const VString& path() const { return path_; }

    bool create();
    // One of OpenResult; waits up to kBusyWaitMillis while the server is busy.
    int open();
    // Server end: reads up to kReadSize bytes into buffer (see hasMoreData); 0 once closed.
    int read(char* buffer);
    // Whether the message of the last read goes on in the next read.
    bool hasMoreData() const { return moreData_.load(); }
    int write(const void* data, int n);
    bool exists();
    // Marks the pipe closed and releases a server waiting for a client.
    void close();

private:
    Platform::InstanceChannels& channels_;
    const VString name_;
    const VString path_;
    std::unique_ptr<Platform::InstanceChannel> channel_;
    std::atomic<bool> moreData_{false};
};

} // namespace Vorn
