#include "model/object_block.h"

namespace telvo {

// Out of line: the compiler cannot tell here which tag it will meet, and
// does not take the heap branch for a free of block memory.
void TBlockPlaced::release(void* p, std::size_t size) noexcept
{
    auto* raw = static_cast<std::byte*>(p) - TagSize;
    if (*reinterpret_cast<const uintptr_t*>(raw) == OnHeap)
        ::operator delete(raw);
    else
        TELVO_POISON(raw, TagSize + size);
}

} // namespace telvo
