#include "platform/fake/FakeInstanceChannels.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>

namespace Platform {

struct FakeInstanceChannels::Server {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> messages;
    bool closed = false;
};

namespace {

class FakeInstanceChannel final : public InstanceChannel {
public:
    FakeInstanceChannel(FakeInstanceChannels& world, std::string name)
        : world_(world), name_(std::move(name)) {}
    ~FakeInstanceChannel() override { close(); }

    bool create() override {
        close();
        auto server = std::make_shared<FakeInstanceChannels::Server>();
        if (!world_.registerServer(name_, server))
            return false;
        std::lock_guard hold(mutex_);
        own_ = server;
        return true;
    }

    OpenResult open(int) override {
        close();
        std::shared_ptr<FakeInstanceChannels::Server> server = world_.findServer(name_);
        if (!server)
            return kOpenError;
        std::lock_guard hold(mutex_);
        peer_ = server;
        return kOpened;
    }

    int read(char* buffer, int size, bool& moreData) override {
        moreData = false;
        std::shared_ptr<FakeInstanceChannels::Server> server;
        {
            std::lock_guard hold(mutex_);
            server = own_;
        }
        if (!server || size <= 0)
            return 0;
        std::unique_lock hold(server->mutex);
        server->changed.wait(hold, [&] { return server->closed || !server->messages.empty(); });
        if (server->closed)
            return 0;
        std::string& message = server->messages.front();
        const size_t n = std::min(size_t(size), message.size());
        std::memcpy(buffer, message.data(), n);
        message.erase(0, n);
        moreData = !message.empty();
        if (!moreData)
            server->messages.pop_front();
        return int(n);
    }

    int write(const void* data, int size) override {
        std::shared_ptr<FakeInstanceChannels::Server> server;
        {
            std::lock_guard hold(mutex_);
            server = peer_;
        }
        if (!server || size <= 0)
            return 0;
        std::lock_guard hold(server->mutex);
        if (server->closed)
            return 0;
        server->messages.emplace_back(static_cast<const char*>(data), size_t(size));
        server->changed.notify_all();
        return size;
    }

    void close() override {
        std::shared_ptr<FakeInstanceChannels::Server> server;
        {
            std::lock_guard hold(mutex_);
            server = std::move(own_);
            peer_.reset();
        }
        if (!server)
            return;
        world_.unregisterServer(name_, server.get());
        std::lock_guard hold(server->mutex);
        server->closed = true;
        server->changed.notify_all();
    }

private:
    FakeInstanceChannels& world_;
    const std::string name_;
    std::mutex mutex_;
    std::shared_ptr<FakeInstanceChannels::Server> own_;  // on the server end
    std::shared_ptr<FakeInstanceChannels::Server> peer_; // on a client end
};

} // namespace

FakeInstanceChannels::FakeInstanceChannels() = default;
FakeInstanceChannels::~FakeInstanceChannels() = default;

std::unique_ptr<InstanceChannel> FakeInstanceChannels::channel(const std::string& name) {
    return std::make_unique<FakeInstanceChannel>(*this, name);
}

bool FakeInstanceChannels::exists(const std::string& name) {
    return findServer(name) != nullptr;
}

bool FakeInstanceChannels::registerServer(const std::string& name,
                                          const std::shared_ptr<Server>& server) {
    std::lock_guard hold(mutex_);
    return servers_.emplace(name, server).second;
}

void FakeInstanceChannels::unregisterServer(const std::string& name, const Server* server) {
    std::lock_guard hold(mutex_);
    auto found = servers_.find(name);
    if (found != servers_.end() && found->second.get() == server)
        servers_.erase(found);
}

std::shared_ptr<FakeInstanceChannels::Server>
FakeInstanceChannels::findServer(const std::string& name) {
    std::lock_guard hold(mutex_);
    auto found = servers_.find(name);
    return found != servers_.end() ? found->second : nullptr;
}

} // namespace Platform
