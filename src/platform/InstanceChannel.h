#pragma once

#include <memory>
#include <string>

namespace Platform {

// A named, duplex, message-oriented channel between processes of one user. The server end
// (create) takes one client at a time, one whole message per connection; a client end (open)
// connects and writes. read() runs on one thread; close() may be called from any other thread
// and releases a read blocked waiting for a client. Everything else runs on the owner's thread.
class InstanceChannel {
public:
    enum OpenResult { kOpened = 0, kOpenError = 1, kOpenTimedOut = 2, kOpenModeFailed = 3 };

    virtual ~InstanceChannel() = default;

    // Becomes the server end. False when the name is taken by a live server or on error.
    virtual bool create() = 0;
    // Becomes a client end, waiting up to busyWaitMillis while the server's queue is full.
    virtual OpenResult open(int busyWaitMillis) = 0;
    // Server end: waits for a client unless the last message is still being read, then copies
    // up to size bytes of its message. moreData tells that the message goes on (the client is
    // kept); otherwise the client is let go. 0 when the channel was closed meanwhile.
    virtual int read(char* buffer, int size, bool& moreData) = 0;
    // Sends one message; returns the bytes written (0 on failure).
    virtual int write(const void* data, int size) = 0;
    virtual void close() = 0;
};

// Creates channel ends by name. A name is one file name: no '/', not "." or "..".
class InstanceChannels {
public:
    virtual ~InstanceChannels() = default;
    virtual std::unique_ptr<InstanceChannel> channel(const std::string& name) = 0;
    // Whether a server for the name is there.
    virtual bool exists(const std::string& name) = 0;
};

// The real backend: AF_UNIX sequenced-packet sockets in $XDG_RUNTIME_DIR/corvane/, else in
// /tmp/corvane-<uid>/ (a folder of mode 0700 that must belong to the user). Lives as long as
// the process.
InstanceChannels& systemInstanceChannels();

} // namespace Platform
