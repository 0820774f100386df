#include "picture_files.h"

#include <array>
#include <fstream>
#include <stdexcept>

namespace telvo::test {

namespace {

void PutLE(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutBE(std::string& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t Crc32(const std::string& data)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Chunk(std::string& png, const std::string& type, const std::string& body)
{
    PutBE(png, static_cast<uint32_t>(body.size()));
    std::string typed = type + body;
    png += typed;
    PutBE(png, Crc32(typed));
}

void WriteAll(const std::filesystem::path& file, const std::string& bytes)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace

std::string BitmapBytes(int32_t width, int32_t height, bool topDown)
{
    const uint32_t rowSize = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    const uint32_t pixelBytes = rowSize * static_cast<uint32_t>(height);
    std::string b = "BM";
    PutLE(b, 54 + pixelBytes, 4);
    PutLE(b, 0, 4);
    PutLE(b, 54, 4);
    PutLE(b, 40, 4);
    PutLE(b, static_cast<uint32_t>(width), 4);
    PutLE(b, static_cast<uint32_t>(topDown ? -height : height), 4);
    PutLE(b, 1, 2);
    PutLE(b, 24, 2);
    PutLE(b, 0, 4);
    PutLE(b, pixelBytes, 4);
    PutLE(b, 2835, 4);
    PutLE(b, 2835, 4);
    PutLE(b, 0, 4);
    PutLE(b, 0, 4);
    b.append(pixelBytes, static_cast<char>(0xD0));
    return b;
}

std::string PngBytes(uint32_t width, uint32_t height)
{
    std::string raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back('\0'); // filter: none
        raw.append(width * 3, static_cast<char>(0x80));
    }
    // zlib stream of stored blocks, then the Adler-32 of the raw data.
    std::string z = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t len = std::min<size_t>(65535, raw.size() - at);
        bool last = at + len >= raw.size();
        z.push_back(last ? '\x01' : '\x00');
        PutLE(z, static_cast<uint32_t>(len), 2);
        PutLE(z, static_cast<uint32_t>(~len & 0xFFFF), 2);
        z += raw.substr(at, len);
        if (last)
            break;
    }
    uint32_t a = 1, s = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        s = (s + a) % 65521;
    }
    PutBE(z, (s << 16) | a);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    PutBE(ihdr, width);
    PutBE(ihdr, height);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", "");
    return png;
}

std::filesystem::path WriteBitmap(const std::filesystem::path& file, int32_t width, int32_t height)
{
    WriteAll(file, BitmapBytes(width, height));
    return file;
}

std::filesystem::path WritePng(const std::filesystem::path& file, uint32_t width, uint32_t height)
{
    WriteAll(file, PngBytes(width, height));
    return file;
}

} // namespace telvo::test
