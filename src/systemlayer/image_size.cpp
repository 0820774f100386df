#include "systemlayer/image_size.h"

#include <fstream>

namespace telvo {

namespace {

uint32_t LittleEndian(std::string_view b, size_t at, size_t count)
{
    uint32_t v = 0;
    for (size_t i = 0; i < count; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

uint32_t BigEndian32(std::string_view b, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

std::optional<TImageSize> Plausible(int64_t width, int64_t height)
{
    if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide)
        return std::nullopt;
    return TImageSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

std::optional<TImageSize> BitmapSize(std::string_view b)
{
    // 14-byte file header, then the DIB header whose first field is its size.
    if (b.size() < 14 + 4)
        return std::nullopt;
    uint32_t dibSize = LittleEndian(b, 14, 4);
    if (dibSize == 12) {
        // The old core header: unsigned 16-bit sides.
        if (b.size() < 14 + 12)
            return std::nullopt;
        return Plausible(LittleEndian(b, 18, 2), LittleEndian(b, 20, 2));
    }
    if (dibSize < 40 || b.size() < 14 + 16)
        return std::nullopt;
    int64_t width = static_cast<int32_t>(LittleEndian(b, 18, 4));
    int64_t height = static_cast<int32_t>(LittleEndian(b, 22, 4));
    // A negative height marks rows stored top-down; the size is the same.
    if (height < 0)
        height = -height;
    return Plausible(width, height);
}

std::optional<TImageSize> PngSize(std::string_view b)
{
    // Signature, then the IHDR chunk first: length, "IHDR", width, height.
    if (b.size() < 24 || b.substr(12, 4) != "IHDR")
        return std::nullopt;
    return Plausible(BigEndian32(b, 16), BigEndian32(b, 20));
}

constexpr std::string_view PngSignature{"\x89PNG\r\n\x1a\n", 8};

} // namespace

std::optional<TImageSize> ImageSizeFromBytes(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "BM")
        return BitmapSize(bytes);
    if (bytes.size() >= PngSignature.size() && bytes.substr(0, PngSignature.size()) == PngSignature)
        return PngSize(bytes);
    return std::nullopt;
}

std::optional<TImageSize> ReadImageSize(const std::filesystem::path& file)
{
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    char head[32];
    in.read(head, sizeof head);
    return ImageSizeFromBytes(std::string_view(head, static_cast<size_t>(in.gcount())));
}

} // namespace telvo
