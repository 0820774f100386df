// Picture headers come from any file a user points the IPT dialog at.
#include "systemlayer/image_size.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto result = telvo::ImageSizeFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (result && (result->Width < 1 || result->Height < 1 || result->Width > telvo::MaxImageSide ||
                   result->Height > telvo::MaxImageSide))
        std::abort();
    return 0;
}
