#include "platform/InstanceChannel.h"

#include "platform/Clock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

// The kernel keeps at most this many clients waiting for the server (one pipe "instance" each).
constexpr int kBacklog = 255;
constexpr int kBusyRetryMillis = 5;

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// The folder of the sockets, created on demand; empty when it is unusable (not ours, a link).
std::string channelFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime && *runtime ? std::string(runtime) + "/corvane"
                                                   : "/tmp/corvane-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return {};
    if ((info.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder;
}

bool validName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// The socket address of a name; false when the name is unusable or the path too long.
bool socketAddress(const std::string& name, sockaddr_un& address, std::string& path) {
    if (!validName(name))
        return false;
    const std::string folder = channelFolder();
    if (folder.empty())
        return false;
    path = folder + "/" + name;
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

FileDescriptor newSocket(bool nonBlocking) {
    return FileDescriptor(
        socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

// Connects without blocking: 0, or the errno of the failure (EAGAIN: the server is busy).
int tryConnect(int fd, const sockaddr_un& address) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
        return 0;
    return errno;
}

// Whether a live server listens at the address (a stale socket file refuses connections).
bool serverListens(const sockaddr_un& address) {
    FileDescriptor probe = newSocket(true);
    if (!probe.valid())
        return false;
    const int error = tryConnect(probe.get(), address);
    return error == 0 || error == EAGAIN;
}

class LinuxInstanceChannel final : public InstanceChannel {
public:
    explicit LinuxInstanceChannel(std::string name) : name_(std::move(name)) {}
    ~LinuxInstanceChannel() override { close(); }

    bool create() override {
        close();
        std::lock_guard hold(mutex_);
        sockaddr_un address;
        std::string path;
        if (!socketAddress(name_, address, path) || !resetWake())
            return false;
        FileDescriptor server = newSocket(false);
        if (!server.valid())
            return false;
        auto bindTo = [&] {
            return bind(server.get(), reinterpret_cast<const sockaddr*>(&address),
                        sizeof(address)) == 0;
        };
        if (!bindTo()) {
            // A socket file left by a process that died is taken over; a live one is not.
            if (errno != EADDRINUSE || serverListens(address) || unlink(path.c_str()) != 0 ||
                !bindTo())
                return false;
        }
        struct stat info {};
        if (chmod(path.c_str(), 0600) != 0 || stat(path.c_str(), &info) != 0 ||
            listen(server.get(), kBacklog) != 0) {
            unlink(path.c_str());
            return false;
        }
        socketPath_ = path;
        socketDevice_ = info.st_dev;
        socketInode_ = info.st_ino;
        listener_ = std::move(server);
        closed_ = false;
        return true;
    }

    OpenResult open(int busyWaitMillis) override {
        close();
        std::lock_guard hold(mutex_);
        sockaddr_un address;
        std::string path;
        if (!socketAddress(name_, address, path))
            return kOpenError;
        FileDescriptor client = newSocket(true);
        if (!client.valid())
            return kOpenError;
        const int64_t deadline = systemClock().nowMillis() + busyWaitMillis;
        int error;
        while ((error = tryConnect(client.get(), address)) == EAGAIN) {
            if (systemClock().nowMillis() >= deadline)
                return kOpenTimedOut;
            std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMillis));
        }
        if (error != 0)
            return kOpenError;
        const int flags = fcntl(client.get(), F_GETFL);
        if (flags < 0 || fcntl(client.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            return kOpenError;
        peer_ = std::move(client);
        closed_ = false;
        return kOpened;
    }

    int read(char* buffer, int size, bool& moreData) override {
        moreData = false;
        {
            std::lock_guard hold(mutex_);
            if (closed_ || !listener_.valid() || size <= 0)
                return 0;
            ++readers_;
        }
        int n = readMessage(buffer, size, moreData);
        std::lock_guard hold(mutex_);
        --readers_;
        if (closed_) {
            moreData = false;
            n = 0;
            if (readers_ == 0)
                release();
        }
        return n;
    }

    int write(const void* data, int size) override {
        std::lock_guard hold(mutex_);
        const int fd = peer_.valid() ? peer_.get() : connection_.get();
        if (closed_ || fd < 0 || size <= 0)
            return 0;
        const ssize_t sent = send(fd, data, size_t(size), MSG_NOSIGNAL);
        return sent > 0 ? int(sent) : 0;
    }

    void close() override {
        std::lock_guard hold(mutex_);
        closed_ = true;
        if (wake_.valid()) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t ignored = ::write(wake_.get(), &one, sizeof(one));
        }
        // A reader still inside read() lets the descriptors go when it leaves.
        if (readers_ == 0)
            release();
    }

private:
    // A fresh wake-up descriptor for a new server; a close() before now is forgotten.
    bool resetWake() {
        wake_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        return wake_.valid();
    }

    void release() {
        if (listener_.valid() && !socketPath_.empty()) {
            // Remove the socket file only while it is still ours (not a successor's).
            struct stat info {};
            if (stat(socketPath_.c_str(), &info) == 0 && info.st_dev == socketDevice_ &&
                info.st_ino == socketInode_)
                unlink(socketPath_.c_str());
        }
        socketPath_.clear();
        listener_.reset();
        connection_.reset();
        peer_.reset();
        pending_.clear();
        pendingOffset_ = 0;
    }

    // Waits until fd is readable: false when woken by close() or on error.
    bool waitReadable(int fd) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        for (;;) {
            const int ready = poll(fds, 2, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            return ready > 0 && fds[1].revents == 0;
        }
    }

    // Runs without the mutex: close() leaves the descriptors alone while a read is inside.
    int readMessage(char* buffer, int size, bool& moreData) {
        while (pendingOffset_ >= pending_.size()) {
            if (!connection_.valid()) {
                if (!waitReadable(listener_.get()))
                    return 0;
                connection_.reset(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                if (!connection_.valid())
                    continue;
            }
            if (!waitReadable(connection_.get()))
                return 0;
            // MSG_TRUNC with MSG_PEEK gives the whole length of the next message.
            const ssize_t length = recv(connection_.get(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
            if (length <= 0) {
                // A client that left without a message (or a probe by exists()).
                connection_.reset();
                continue;
            }
            pending_.resize(size_t(length));
            const ssize_t got = recv(connection_.get(), pending_.data(), pending_.size(), 0);
            pending_.resize(got > 0 ? size_t(got) : 0);
            pendingOffset_ = 0;
            if (pending_.empty())
                connection_.reset();
        }
        const size_t n = std::min(size_t(size), pending_.size() - pendingOffset_);
        std::memcpy(buffer, pending_.data() + pendingOffset_, n);
        pendingOffset_ += n;
        moreData = pendingOffset_ < pending_.size();
        if (!moreData) {
            pending_.clear();
            pendingOffset_ = 0;
            connection_.reset();
        }
        return int(n);
    }

    const std::string name_;
    std::mutex mutex_;
    bool closed_ = true;
    int readers_ = 0;
    FileDescriptor listener_;
    FileDescriptor connection_; // the client being read; touched by the reader only
    FileDescriptor peer_;       // the server, on a client end
    FileDescriptor wake_;
    std::string socketPath_;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::vector<char> pending_; // the message being read, and how far
    size_t pendingOffset_ = 0;
};

class LinuxInstanceChannels final : public InstanceChannels {
public:
    std::unique_ptr<InstanceChannel> channel(const std::string& name) override {
        return std::make_unique<LinuxInstanceChannel>(name);
    }

    bool exists(const std::string& name) override {
        sockaddr_un address;
        std::string path;
        if (!socketAddress(name, address, path))
            return false;
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
            return false;
        return !S_ISSOCK(info.st_mode) || serverListens(address);
    }
};

} // namespace

InstanceChannels& systemInstanceChannels() {
    static LinuxInstanceChannels channels;
    return channels;
}

} // namespace Platform
