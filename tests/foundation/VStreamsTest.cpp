#include "foundation/VStreams.h"

#include "foundation/ErrorMessageCollector.h"
#include "foundation/ErrorMessages.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace Vorn {
namespace {

TEST(VStreamsTest, MemInputStreamReadsInChunks) {
    const char bytes[] = "0123456789";
    VMemInputStream in(bytes, 10);
    char buffer[8] = {};
    EXPECT_EQ(in.available(), 10);
    EXPECT_EQ(in.read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(in.read(buffer, 8), 6);
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(in.available(), 0);
    EXPECT_EQ(in.read(buffer, 8), 0);
    EXPECT_EQ(in.read(buffer, -3), 0);

    VMemInputStream owned(std::vector<uint8_t>{1, 2, 3});
    owned.setName("owned");
    uint8_t out[3] = {};
    EXPECT_EQ(owned.read(out, 3), 3);
    EXPECT_EQ(out[2], 3);
    EXPECT_STREQ(owned.name().c_str(), "owned");
}

TEST(VStreamsTest, MemOutputStreamGrowsByStep) {
    VMemOutputStream out;
    EXPECT_EQ(out.capacity(), 2048);
    EXPECT_STREQ(out.lineEnd().c_str(), "\r\n");

    const std::string chunk(2000, 'a');
    EXPECT_TRUE(out.write(chunk.data(), 2000));
    EXPECT_EQ(out.capacity(), 2048);
    EXPECT_TRUE(out.write(chunk.data(), 100)); // 2100: capacity + 4096
    EXPECT_EQ(out.capacity(), 2048 + 4096);
    const std::string big(20000, 'b');
    EXPECT_TRUE(out.write(big.data(), 20000)); // more than a step: exactly what is needed
    EXPECT_EQ(out.capacity(), 22100);
    EXPECT_EQ(out.length(), 22100);
    EXPECT_EQ(std::string(out.data(), 2100), std::string(2100, 'a'));
    EXPECT_EQ(out.data()[22100], 0);

    out.clear();
    EXPECT_TRUE(out.writeText("key="));
    EXPECT_TRUE(out.writeByte('7'));
    EXPECT_TRUE(out.writeText(out.lineEnd().c_str()));
    EXPECT_TRUE(out.write(nullptr, 0));
    EXPECT_STREQ(out.toString().c_str(), "key=7\r\n");
    EXPECT_STREQ(out.data(), "key=7\r\n");
}

TEST(VStreamsTest, MemOutputStreamRefusesImpossibleSizes) {
    VMemOutputStream out;
    out.writeText("kept");
    const char small[4] = {};
    ErrorMessageCollector errors;
    addErrorCallback(&errors);
    EXPECT_FALSE(out.write(small, INT_MAX)); // would pass 2 GiB; nothing is read from small
    removeErrorCallback(&errors);
    ASSERT_EQ(errors.messages().count(), 1);
    EXPECT_STREQ(errors.messages().get(0).c_str(),
                 "ERROR: Error allocating memory (2147483647 bytes)");
    EXPECT_FALSE(out.write(small, -1));
    EXPECT_FALSE(out.write(nullptr, 3));
    EXPECT_STREQ(out.toString().c_str(), "kept");
    EXPECT_EQ(out.capacity(), 2048);
}

TEST(VStreamsTest, FileOutputStreamWritesRecords) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vstreams-" + std::string(VString::randomString(12, true).c_str()));
    std::filesystem::create_directories(dir);
    const VString path((dir / "out.txt").string());
    {
        VFileOutputStream out(path);
        ASSERT_TRUE(out.isOpen());
        EXPECT_TRUE(out.write("first\n", 6));
    }
    {
        VFileOutputStream out(path, true);
        EXPECT_TRUE(out.write("second\n", 7));
        out.close();
        EXPECT_FALSE(out.write("lost\n", 5));
    }
    std::ifstream in(path.c_str(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first\nsecond\n");

    VFileOutputStream nowhere(VString((dir / "no" / "such" / "dir.txt").string()));
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_FALSE(nowhere.write("x", 1));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace Vorn
