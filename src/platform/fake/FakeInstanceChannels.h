#pragma once

#include "platform/InstanceChannel.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Platform {

// In-process channels: each FakeInstanceChannels is a world of its own, where a client's
// message goes straight into the server's queue. Same rules as the real backend (one live
// server per name, whole messages read in pieces, close() releases a waiting read); the server
// is never busy. Thread-safe like the real one.
class FakeInstanceChannels final : public InstanceChannels {
public:
    struct Server;

    FakeInstanceChannels();
    ~FakeInstanceChannels() override;

    std::unique_ptr<InstanceChannel> channel(const std::string& name) override;
    bool exists(const std::string& name) override;

    // Used by the channel ends of this world.
    bool registerServer(const std::string& name, const std::shared_ptr<Server>& server);
    void unregisterServer(const std::string& name, const Server* server);
    std::shared_ptr<Server> findServer(const std::string& name);

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Server>> servers_;
};

} // namespace Platform
