#pragma once
// Room for the many small objects one owner makes at once: the ports and
// internal variables of an instance record, the port pictures of a drawn
// instance. A project holds tens of thousands of them; placed together in
// one block that the owner holds, they cost one allocation per owner instead
// of one each, and sit next to each other in memory.
//
// Such an object is still owned on its own, through the unique_ptr of its
// list, so that a list can drop or make any of them as before. Its class
// derives from TBlockPlaced, whose operator delete reads a tag in front of
// the object: an object in a block is only destroyed (the memory goes with
// the block), one made by plain new is freed. Nothing may move an object
// from a block into something that outlives the block's owner.
//
// Builds under a sanitizer leave the blocks empty, so that the sanitizer
// sees every object on its own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TELVO_OBJECT_BLOCKS_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TELVO_OBJECT_BLOCKS_OFF 1
#endif
#endif

namespace telvo {

class TObjectBlock;

// Base of the classes whose objects may sit in a TObjectBlock.
class TBlockPlaced {
public:
    static constexpr std::size_t TagSize = alignof(std::max_align_t);

    static void* operator new(std::size_t size) { return onHeap(size); }
    // In the block while it has room, else on the heap.
    static void* operator new(std::size_t size, TObjectBlock& block);
    static void operator delete(void* p) noexcept { release(p); }
    // Called only when a constructor throws.
    static void operator delete(void* p, TObjectBlock&) noexcept { release(p); }

private:
    friend class TObjectBlock;
    enum TTag : uintptr_t { OnHeap = 0x4845415055ull, InBlock = 0x424C4F434Bull };
    static std::byte* tagged(std::byte* raw, TTag tag)
    {
        *reinterpret_cast<uintptr_t*>(raw) = tag;
        return raw + TagSize;
    }
    static void* onHeap(std::size_t size)
    {
        return tagged(static_cast<std::byte*>(::operator new(size + TagSize)), OnHeap);
    }
    static void release(void* p) noexcept
    {
        auto* raw = static_cast<std::byte*>(p) - TagSize;
        if (*reinterpret_cast<const uintptr_t*>(raw) == OnHeap)
            ::operator delete(raw);
    }
};

class TObjectBlock {
public:
    TObjectBlock() = default;
    TObjectBlock(const TObjectBlock&) = delete;
    TObjectBlock& operator=(const TObjectBlock&) = delete;

    // The room `count` objects of T take in a block.
    template <typename T>
    static constexpr std::size_t RoomFor(std::size_t count)
    {
        return count * (TBlockPlaced::TagSize + roundUp(sizeof(T)));
    }

    // Makes the block, once, before anything is placed in it.
    void Reserve(std::size_t bytes)
    {
#ifndef TELVO_OBJECT_BLOCKS_OFF
        if (memory_ || bytes == 0)
            return;
        memory_.reset(static_cast<std::byte*>(::operator new(bytes, std::align_val_t(TBlockPlaced::TagSize))));
        size_ = bytes;
#else
        (void)bytes;
#endif
    }

    // A new T, in the block while there is room.
    template <typename T, typename... Args>
    std::unique_ptr<T> Make(Args&&... args)
    {
        static_assert(std::is_base_of_v<TBlockPlaced, T>);
        return std::unique_ptr<T>(new (*this) T(std::forward<Args>(args)...));
    }

private:
    friend class TBlockPlaced;
    static constexpr std::size_t roundUp(std::size_t size)
    {
        return (size + TBlockPlaced::TagSize - 1) / TBlockPlaced::TagSize * TBlockPlaced::TagSize;
    }
    void* place(std::size_t size)
    {
        const std::size_t room = TBlockPlaced::TagSize + roundUp(size);
        if (!memory_ || size_ - used_ < room)
            return TBlockPlaced::onHeap(size);
        std::byte* raw = memory_.get() + used_;
        used_ += room;
        return TBlockPlaced::tagged(raw, TBlockPlaced::InBlock);
    }
    struct TFree {
        void operator()(std::byte* p) const noexcept { ::operator delete(p, std::align_val_t(TBlockPlaced::TagSize)); }
    };
    std::unique_ptr<std::byte, TFree> memory_;
    std::size_t size_ = 0;
    std::size_t used_ = 0;
};

inline void* TBlockPlaced::operator new(std::size_t size, TObjectBlock& block) { return block.place(size); }

} // namespace telvo
