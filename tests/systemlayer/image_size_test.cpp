#include "picture_files.h"
#include "support/test_support.h"
#include "systemlayer/image_size.h"

#include <gtest/gtest.h>

using namespace telvo;

TEST(ImageSize, ReadFromRealFilesOnDisk)
{
    test::TempDir dir;
    struct Case {
        std::string File;
        std::string Bytes;
        int32_t Width, Height;
    };
    const Case cases[] = {
        {"bottom_up.bmp", test::BitmapBytes(80, 60), 80, 60},
        {"top_down.bmp", test::BitmapBytes(33, 7, true), 33, 7},
        {"one_pixel.bmp", test::BitmapBytes(1, 1), 1, 1},
        {"picture.png", test::PngBytes(37, 23), 37, 23},
        {"wide.png", test::PngBytes(300, 2), 300, 2},
    };
    for (const Case& c : cases) {
        auto file = dir.Write(c.File, c.Bytes);
        auto size = ReadImageSize(file);
        ASSERT_TRUE(size.has_value()) << c.File;
        EXPECT_EQ(size->Width, c.Width) << c.File;
        EXPECT_EQ(size->Height, c.Height) << c.File;
    }
}

TEST(ImageSize, OldCoreHeaderBitmap)
{
    std::string b = "BM";
    b += std::string(12, '\0');             // rest of the file header
    b += std::string("\x0c\0\0\0", 4);      // core header size 12
    b += std::string("\x2c\x01\x20\0", 4);  // 300 x 32, 16-bit sides
    b += std::string("\x01\0\x18\0", 4);    // planes, 24 bits
    auto size = ImageSizeFromBytes(b);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->Width, 300);
    EXPECT_EQ(size->Height, 32);
}

TEST(ImageSize, DamagedOrForeignFilesGiveNoSize)
{
    std::string bmp = test::BitmapBytes(10, 10);
    std::string png = test::PngBytes(10, 10);
    auto withInt32 = [](std::string bytes, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return bytes;
    };
    auto pngSide = [](std::string bytes, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
        return bytes;
    };
    struct Case {
        const char* What;
        std::string Bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"just the magic", "BM"},
        {"bitmap cut in its header", bmp.substr(0, 20)},
        {"png cut before the sizes", png.substr(0, 18)},
        {"zero width bitmap", withInt32(bmp, 18, 0)},
        {"negative width bitmap", withInt32(bmp, 18, static_cast<uint32_t>(-10))},
        {"huge bitmap", withInt32(bmp, 18, 1u << 30)},
        {"INT32_MIN height", withInt32(bmp, 22, 0x80000000u)},
        {"unknown header size", withInt32(bmp, 14, 20)},
        {"png zero height", pngSide(png, 20, 0)},
        {"png width above 2^31", pngSide(png, 16, 0x80000001u)},
        {"png without IHDR first", png.substr(0, 12) + "IDAT" + png.substr(16)},
        {"a GIF", "GIF89a\x0a\0\x0a\0"},
        {"text", "hello, not a picture at all"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(ImageSizeFromBytes(c.Bytes).has_value()) << c.What;
}

TEST(ImageSize, MissingOrUnreadablePathsGiveNoSize)
{
    test::TempDir dir;
    EXPECT_FALSE(ReadImageSize(dir / "missing.bmp").has_value());
    EXPECT_FALSE(ReadImageSize(dir.Path()).has_value()); // a folder
    EXPECT_FALSE(ReadImageSize("").has_value());
}

// The pictures the workbench ships are real 24-bit bitmaps of sensible size.
TEST(ImageSize, ShippedPicturesAreReadable24BitBitmaps)
{
    const char* names[] = {"netbone.bmp", "device3.bmp", "OPCdevice.bmp", "device1.bmp", "Comp047.bmp",
                           "iunit.bmp",   "switch.bmp",  "aaa.bmp",       "ALARM.bmp",   "boiler.bmp",
                           "compress.bmp", "control.bmp", "Drill.bmp",    "robotarm.bmp", "hmi.bmp",
                           "conveyer.bmp", "feeder.bmp"};
    for (const char* name : names) {
        auto file = test::SourceDir() / "images" / name;
        std::string bytes = test::ReadFile(file);
        auto size = ImageSizeFromBytes(bytes);
        ASSERT_TRUE(size.has_value()) << name;
        EXPECT_GE(size->Width, 24) << name;
        EXPECT_GE(size->Height, 16) << name;
        ASSERT_GE(bytes.size(), 54u) << name;
        EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 24) << name << ": bits per pixel";
        const size_t row = (static_cast<size_t>(size->Width) * 3 + 3) / 4 * 4;
        EXPECT_GE(bytes.size(), 54 + row * static_cast<size_t>(size->Height)) << name << ": pixel data";
    }
}
