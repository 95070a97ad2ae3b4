#include "foundation/VNamedPipe.h"
#include "platform/fake/FakeInstanceChannels.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

using TestSupport::waitUntil;

TEST(VNamedPipe, PathReplacesSeparatorsAndColons) {
    const struct {
        const char* name;
        const char* safe;
    } cases[] = {
        {"C:\\x", "C__x"},
        {"corvane-instance", "corvane-instance"},
        {"a/b:c\\d", "a_b_c_d"},
        {"..", ".."},
    };
    Platform::FakeInstanceChannels channels;
    for (const auto& c : cases) {
        EXPECT_EQ(Vorn::VNamedPipe::safeName(c.name), c.safe);
        Vorn::VNamedPipe pipe(c.name, channels);
        EXPECT_EQ(pipe.path(), Vorn::VString("\\\\.\\pipe\\") + c.safe);
    }
}

TEST(VNamedPipe, LongMessageArrivesInPiecesWithTheMoreDataFlag) {
    Platform::FakeInstanceChannels channels;
    Vorn::VNamedPipe server("Corvane:Instance", channels);
    EXPECT_FALSE(server.exists());
    ASSERT_TRUE(server.create());
    EXPECT_TRUE(server.exists());

    Vorn::VNamedPipe client("Corvane:Instance", channels);
    ASSERT_EQ(client.open(), Vorn::VNamedPipe::kOpened);
    std::string message(600, 'm');
    message[599] = 'z';
    EXPECT_EQ(client.write(message.data(), int(message.size())), 600);

    std::string got;
    char buffer[Vorn::VNamedPipe::kReadSize];
    for (int expected : {256, 256, 88}) {
        const int n = server.read(buffer);
        EXPECT_EQ(n, expected);
        got.append(buffer, size_t(n));
        EXPECT_EQ(server.hasMoreData(), expected == 256);
    }
    EXPECT_EQ(got, message);
}

TEST(VNamedPipe, OpenWithoutServerIsAnErrorAndCloseReleasesAWaitingRead) {
    Platform::FakeInstanceChannels channels;
    Vorn::VNamedPipe client("nobody", channels);
    EXPECT_EQ(client.open(), Vorn::VNamedPipe::kOpenError);
    EXPECT_EQ(client.write("x", 1), 0);

    Vorn::VNamedPipe server("waiting", channels);
    ASSERT_TRUE(server.create());
    std::atomic<int> result{-1};
    std::thread reader([&] {
        char buffer[Vorn::VNamedPipe::kReadSize];
        result = server.read(buffer);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(result.load(), -1);
    server.close();
    EXPECT_TRUE(waitUntil([&] { return result.load() == 0; }));
    reader.join();
    EXPECT_FALSE(server.exists());
}

} // namespace
