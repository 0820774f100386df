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
// Under AddressSanitizer the room of a block that holds no live object is
// poisoned, so that a use of a destroyed object in a block is caught as it
// would be on the heap.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define TELVO_POISON_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TELVO_POISON_BLOCKS 1
#endif
#endif
#ifdef TELVO_POISON_BLOCKS
#include <sanitizer/asan_interface.h>
#define TELVO_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define TELVO_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define TELVO_POISON(p, n) ((void)(p), (void)(n))
#define TELVO_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace telvo {

class TObjectBlock;
class TObjectPool;

// Base of the classes whose objects may sit in a TObjectBlock or a
// TObjectPool.
class TBlockPlaced {
public:
    static constexpr std::size_t TagSize = alignof(std::max_align_t);
    // The room an object of `size` bytes takes in a block or a pool chunk:
    // its tag and the object, rounded up so that the next stays aligned.
    static constexpr std::size_t RoomOf(std::size_t size)
    {
        return TagSize + (size + TagSize - 1) / TagSize * TagSize;
    }

    static void* operator new(std::size_t size) { return onHeap(size); }
    // In the block while it has room, else on the heap.
    static void* operator new(std::size_t size, TObjectBlock& block);
    // In the pool's present chunk, or a new one.
    static void* operator new(std::size_t size, TObjectPool& pool);
    static void operator delete(void* p, std::size_t size) noexcept { release(p, size); }
    // Called only when a constructor throws (its room in a block is left
    // unused).
    static void operator delete(void* p, TObjectBlock&) noexcept { release(p, 0); }
    static void operator delete(void* p, TObjectPool&) noexcept { release(p, 0); }

private:
    friend class TObjectBlock;
    friend class TObjectPool;
    // An object's tag: one of these, or the address of its chunk in a
    // TObjectPool (a multiple of TagSize, so never one of these).
    enum TTag : uintptr_t { OnHeap = 1, InBlock = 3 };
    static std::byte* tagged(std::byte* raw, uintptr_t tag)
    {
        *reinterpret_cast<uintptr_t*>(raw) = tag;
        return raw + TagSize;
    }
    static void* onHeap(std::size_t size)
    {
        return tagged(static_cast<std::byte*>(::operator new(size + TagSize)), OnHeap);
    }
    // Frees an object's memory on the heap; in a block, the object's room
    // (`size` known to the caller only) stays poisoned from here on.
    static void release(void* p, std::size_t size) noexcept;
};

class TObjectBlock {
public:
    TObjectBlock() = default;
    ~TObjectBlock();
    TObjectBlock(const TObjectBlock&) = delete;
    TObjectBlock& operator=(const TObjectBlock&) = delete;

    // The room `count` objects of T take in a block.
    template <typename T>
    static constexpr std::size_t RoomFor(std::size_t count)
    {
        return count * TBlockPlaced::RoomOf(sizeof(T));
    }

    // Makes the block, once, before anything is placed in it: in the pool
    // when one is given, so that it lies beside its owner.
    void Reserve(std::size_t bytes, TObjectPool* pool = nullptr);

    // A new T, in the block while there is room.
    template <typename T, typename... Args>
    std::unique_ptr<T> Make(Args&&... args)
    {
        static_assert(std::is_base_of_v<TBlockPlaced, T>);
        return std::unique_ptr<T>(new (*this) T(std::forward<Args>(args)...));
    }

private:
    friend class TBlockPlaced;
    void* place(std::size_t size)
    {
        const std::size_t room = TBlockPlaced::RoomOf(size);
        if (!memory_ || size_ - used_ < room)
            return TBlockPlaced::onHeap(size);
        std::byte* raw = memory_ + used_;
        used_ += room;
        TELVO_UNPOISON(raw, room);
        return TBlockPlaced::tagged(raw, TBlockPlaced::InBlock);
    }
    std::byte* memory_ = nullptr; // as TBlockPlaced::operator new gives it
    std::size_t size_ = 0;
    std::size_t used_ = 0;
};

// Room for the many objects of one kind of owner that come one after
// another (the instance records of a project, the lines of its diagrams):
// made in large chunks in the order they come, so that what is made
// together lies together and costs no allocation of its own. A chunk counts
// its live objects and goes with the last of them once the pool has moved
// on from it, so that objects may outlive the pool. Chunks start at
// `firstChunk` bytes and double up to ChunkSize, so that an owner of a few
// objects (a type's declarations) takes little. A pool and its objects
// belong to one thread at a time, as the model does.
class TObjectPool {
public:
    static constexpr std::size_t ChunkSize = 64 * 1024;

    explicit TObjectPool(std::size_t firstChunk = ChunkSize) : nextChunk_(firstChunk) {}
    ~TObjectPool() { retire(); }
    TObjectPool(const TObjectPool&) = delete;
    TObjectPool& operator=(const TObjectPool&) = delete;

    template <typename T, typename... Args>
    std::unique_ptr<T> Make(Args&&... args)
    {
        static_assert(std::is_base_of_v<TBlockPlaced, T>);
        return std::unique_ptr<T>(new (*this) T(std::forward<Args>(args)...));
    }
    // A new T with its fields as their initializers set them, and nothing
    // zeroed first: for a reader that sets every field itself.
    template <typename T>
    std::unique_ptr<T> MakeDefault()
    {
        static_assert(std::is_base_of_v<TBlockPlaced, T>);
        return std::unique_ptr<T>(new (*this) T);
    }

private:
    friend class TBlockPlaced;
    struct alignas(TBlockPlaced::TagSize) TChunk {
        std::size_t Live = 0;
        std::size_t Size = 0;
        bool Current = true;
    };
    void* place(std::size_t size);
    // The present chunk is left to its objects.
    void retire() noexcept;
    // An object of a chunk has gone.
    static void released(TChunk* chunk) noexcept;
    static void freeChunk(TChunk* chunk) noexcept;

    TChunk* chunk_ = nullptr;
    std::size_t used_ = 0;
    std::size_t nextChunk_;
};

inline void* TBlockPlaced::operator new(std::size_t size, TObjectBlock& block) { return block.place(size); }
inline void* TBlockPlaced::operator new(std::size_t size, TObjectPool& pool) { return pool.place(size); }

} // namespace telvo
