#include "model/object_block.h"

#include <algorithm>

namespace telvo {

// Out of line: the compiler cannot tell here which tag it will meet, and
// does not take the heap branch for a free of block memory.
void TBlockPlaced::release(void* p, std::size_t size) noexcept
{
    auto* raw = static_cast<std::byte*>(p) - TagSize;
    const uintptr_t tag = *reinterpret_cast<const uintptr_t*>(raw);
    if (tag == OnHeap) {
        ::operator delete(raw);
        return;
    }
    TELVO_POISON(raw, TagSize + size);
    if (tag != InBlock)
        TObjectPool::released(reinterpret_cast<TObjectPool::TChunk*>(tag));
}

TObjectBlock::~TObjectBlock()
{
    if (memory_)
        TBlockPlaced::release(memory_, size_);
}

void TObjectBlock::Reserve(std::size_t bytes, TObjectPool* pool)
{
    if (memory_ || bytes == 0)
        return;
    memory_ = static_cast<std::byte*>(pool ? TBlockPlaced::operator new(bytes, *pool)
                                           : TBlockPlaced::operator new(bytes));
    size_ = bytes;
    TELVO_POISON(memory_, size_);
}

void TObjectPool::freeChunk(TChunk* chunk) noexcept
{
    TELVO_UNPOISON(chunk, chunk->Size);
    ::operator delete(chunk, std::align_val_t(TBlockPlaced::TagSize));
}

void* TObjectPool::place(std::size_t size)
{
    const std::size_t room = TBlockPlaced::RoomOf(size);
    if (room > ChunkSize - sizeof(TChunk))
        return TBlockPlaced::onHeap(size);
    if (!chunk_ || chunk_->Size - used_ < room) {
        retire();
        std::size_t bytes = nextChunk_;
        while (bytes - sizeof(TChunk) < room)
            bytes *= 2;
        nextChunk_ = std::min(2 * bytes, ChunkSize);
        void* memory = ::operator new(bytes, std::align_val_t(TBlockPlaced::TagSize));
        TELVO_POISON(memory, bytes);
        TELVO_UNPOISON(memory, sizeof(TChunk));
        chunk_ = ::new (memory) TChunk();
        chunk_->Size = bytes;
        used_ = sizeof(TChunk);
    }
    std::byte* raw = reinterpret_cast<std::byte*>(chunk_) + used_;
    used_ += room;
    ++chunk_->Live;
    TELVO_UNPOISON(raw, room);
    return TBlockPlaced::tagged(raw, reinterpret_cast<uintptr_t>(chunk_));
}

void TObjectPool::retire() noexcept
{
    if (!chunk_)
        return;
    chunk_->Current = false;
    if (chunk_->Live == 0)
        freeChunk(chunk_);
    chunk_ = nullptr;
}

void TObjectPool::released(TChunk* chunk) noexcept
{
    if (--chunk->Live == 0 && !chunk->Current)
        freeChunk(chunk);
}

} // namespace telvo
