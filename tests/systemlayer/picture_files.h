#pragma once
// Real picture files for the tests: complete, decodable 24-bit Windows
// bitmaps and PNG files of a chosen size, written to disk.

#include <cstdint>
#include <filesystem>
#include <string>

namespace telvo::test {

// A 24-bit bitmap, bottom-up unless topDown; every pixel a light grey.
std::string BitmapBytes(int32_t width, int32_t height, bool topDown = false);
// An 8-bit RGB PNG with stored (uncompressed) deflate blocks.
std::string PngBytes(uint32_t width, uint32_t height);

std::filesystem::path WriteBitmap(const std::filesystem::path& file, int32_t width, int32_t height);
std::filesystem::path WritePng(const std::filesystem::path& file, uint32_t width, uint32_t height);

} // namespace telvo::test
