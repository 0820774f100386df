#pragma once
// The pixel size of a picture file, read from its header alone. The core
// never decodes pixels (that is the user interface's business); it only needs
// the size that an object takes on the canvas.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace telvo {

struct TImageSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

// Largest side accepted from a header. Anything larger is not a picture an
// engineer placed on a canvas but a damaged or hostile file.
inline constexpr int32_t MaxImageSide = 32767;

// Windows bitmaps (core and info headers, bottom-up or top-down) and PNG.
// Returns nothing for other formats, truncated or implausible headers.
std::optional<TImageSize> ImageSizeFromBytes(std::string_view bytes);
// Reads only the first bytes of the file; nothing when it cannot be read.
std::optional<TImageSize> ReadImageSize(const std::filesystem::path& file);

} // namespace telvo
