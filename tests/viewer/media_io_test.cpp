// The engine's multimedia I/O procedure: an element named with ".KZR+" behind its file name is
// read through the stream class while an engine is alive.
#include "sources/media_io.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <fstream>
#include <memory>
#include <string>

#include "viewer/main_wnd.h"

namespace {

class MediaIo : public ::testing::Test {
protected:
    std::string folder = test_support::ScratchDir("media-io");
    std::string file = folder + "\\sound.wav";
    std::unique_ptr<CMainWnd> engine = std::make_unique<CMainWnd>();

    void SetUp() override
    {
        std::ofstream out(file, std::ios::binary);
        out << "0123456789";
    }
    HMMIO Open(const std::string& name, DWORD flags = MMIO_READ)
    {
        std::string copy = name;
        return mmioOpenA(&copy[0], nullptr, flags);
    }
};

TEST_F(MediaIo, ReadsAndSeeksThroughTheStreamClass)
{
    HMMIO element = Open(file + kMediaIoMarker);
    ASSERT_NE(element, nullptr);
    char bytes[16] = {};
    EXPECT_EQ(mmioRead(element, bytes, 4), 4);
    EXPECT_STREQ(bytes, "0123");
    EXPECT_EQ(mmioSeek(element, 7, SEEK_SET), 7);
    EXPECT_EQ(mmioRead(element, bytes, 10), 3) << "a read past the end gives what there is";
    EXPECT_EQ(std::string(bytes, 3), "789");
    EXPECT_EQ(mmioSeek(element, 0, SEEK_END), 10) << "the end is the element's length";
    EXPECT_EQ(mmioSeek(element, -1, SEEK_END), 9);
    EXPECT_EQ(mmioRead(element, bytes, 4), 1);
    EXPECT_EQ(bytes[0], '9');
    EXPECT_EQ(mmioSeek(element, 50, SEEK_SET), 10) << "a seek beyond the end changes nothing";
    EXPECT_EQ(mmioWrite(element, "x", 1), -1) << "elements are read only";
    EXPECT_EQ(mmioClose(element, 0), 0u);
}

TEST_F(MediaIo, MissingFileFailsToOpen)
{
    EXPECT_EQ(Open(folder + "\\missing.wav" + kMediaIoMarker), nullptr);
}

TEST_F(MediaIo, GoneWithTheLastEngine)
{
    engine.reset();
    EXPECT_EQ(Open(file + kMediaIoMarker), nullptr);
}

}  // namespace
