#include "platform/InstanceChannel.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TestSupport::waitUntil;

// Every test gets a private runtime folder, so the real one is never touched.
class LinuxInstanceChannel : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-channel-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        runtime_ = pattern;
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(runtime_);
    }

    std::string folder() const { return runtime_ + "/corvane"; }

    static std::string readWhole(Platform::InstanceChannel& server, std::vector<int>* pieces) {
        std::string message;
        char buffer[256];
        bool more = true;
        while (more) {
            const int n = server.read(buffer, sizeof(buffer), more);
            if (n == 0)
                break;
            if (pieces)
                pieces->push_back(n);
            message.append(buffer, size_t(n));
        }
        return message;
    }

    Platform::InstanceChannels& channels = Platform::systemInstanceChannels();
    std::string runtime_;
};

TEST_F(LinuxInstanceChannel, ExchangesWholeMessagesClientByClient) {
    auto server = channels.channel("C__x");
    ASSERT_TRUE(server->create());
    struct stat info {};
    ASSERT_EQ(stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((folder() + "/C__x").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(channels.exists("C__x"));

    std::string first(700, 'a');
    first.back() = 'Z';
    const std::string second("open project.crvp");
    std::thread clients([&] {
        for (const std::string& text : {first, second}) {
            auto client = channels.channel("C__x");
            ASSERT_EQ(client->open(3000), Platform::InstanceChannel::kOpened);
            EXPECT_EQ(client->write(text.data(), int(text.size())), int(text.size()));
        }
    });
    std::vector<int> pieces;
    EXPECT_EQ(readWhole(*server, &pieces), first);
    EXPECT_EQ(pieces, (std::vector<int>{256, 256, 188}));
    EXPECT_EQ(readWhole(*server, nullptr), second);
    clients.join();

    server->close();
    EXPECT_FALSE(channels.exists("C__x"));
    EXPECT_NE(stat((folder() + "/C__x").c_str(), &info), 0) << "the socket file is removed";
}

TEST_F(LinuxInstanceChannel, CloseReleasesAServerWaitingForAClient) {
    auto server = channels.channel("waiting");
    ASSERT_TRUE(server->create());
    // A client that leaves without a message, or a probe by exists(), is not a message.
    EXPECT_TRUE(channels.exists("waiting"));
    auto silent = channels.channel("waiting");
    ASSERT_EQ(silent->open(100), Platform::InstanceChannel::kOpened);
    silent->close();

    std::atomic<int> result{-1};
    std::thread reader([&] {
        char buffer[256];
        bool more = true;
        result = server->read(buffer, sizeof(buffer), more);
        EXPECT_FALSE(more);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result.load(), -1);
    server->close();
    EXPECT_TRUE(waitUntil([&] { return result.load() == 0; }));
    reader.join();
}

TEST_F(LinuxInstanceChannel, OneLiveServerPerNameAndStaleSocketsAreTakenOver) {
    auto client = channels.channel("solo");
    EXPECT_EQ(client->open(100), Platform::InstanceChannel::kOpenError);
    EXPECT_FALSE(channels.exists("solo"));

    auto server = channels.channel("solo");
    ASSERT_TRUE(server->create());
    auto rival = channels.channel("solo");
    EXPECT_FALSE(rival->create());
    EXPECT_TRUE(channels.exists("solo"));
    server->close();

    // A socket file left behind by a process that died.
    const std::string path = folder() + "/solo";
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);
    EXPECT_FALSE(channels.exists("solo")) << "nobody listens on a stale socket";
    EXPECT_TRUE(rival->create());
    EXPECT_TRUE(channels.exists("solo"));
}

TEST_F(LinuxInstanceChannel, BusyServerMakesOpenTimeOut) {
    auto server = channels.channel("busy");
    ASSERT_TRUE(server->create());
    std::vector<std::unique_ptr<Platform::InstanceChannel>> waiting;
    Platform::InstanceChannel::OpenResult result = Platform::InstanceChannel::kOpened;
    for (int i = 0; i < 400 && result == Platform::InstanceChannel::kOpened; ++i) {
        waiting.push_back(channels.channel("busy"));
        result = waiting.back()->open(50);
    }
    EXPECT_EQ(result, Platform::InstanceChannel::kOpenTimedOut);
    EXPECT_GE(waiting.size(), 250u);
}

TEST_F(LinuxInstanceChannel, RefusesUnsafeNamesAndForeignFolders) {
    for (const char* name : {"", ".", "..", "a/b"}) {
        auto channel = channels.channel(name);
        EXPECT_FALSE(channel->create()) << name;
        EXPECT_EQ(channel->open(10), Platform::InstanceChannel::kOpenError) << name;
        EXPECT_FALSE(channels.exists(name)) << name;
    }
    auto tooLong = channels.channel(std::string(200, 'n'));
    EXPECT_FALSE(tooLong->create());

    // A link in place of the folder is not followed.
    std::filesystem::remove_all(folder());
    ASSERT_EQ(symlink("/tmp", folder().c_str()), 0);
    auto channel = channels.channel("linked");
    EXPECT_FALSE(channel->create());
    unlink(folder().c_str());
}

} // namespace
