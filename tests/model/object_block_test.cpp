#include "model/object_block.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace telvo {
namespace {

int live = 0;

struct TProbe : TBlockPlaced {
    explicit TProbe(int n, bool fail = false) : Text("a text too long to sit in the string itself #" + std::to_string(n)), N(n)
    {
        if (fail)
            throw std::runtime_error("refused");
        ++live;
    }
    ~TProbe() { --live; }
    std::string Text;
    int N;
};

// Objects in a block and on the heap side by side in one owned list, as a
// record's ports are after a reload added some: each keeps its own fields,
// any of them can go first, and everything is destroyed exactly once (a
// lost destructor leaks the texts, a second one is a double free).
TEST(ObjectBlockTest, ObjectsInTheBlockAndBeyondItLiveAndGoOneByOne)
{
    live = 0;
    {
        TObjectBlock block; // declared first: outlives the list, as in its owners
        block.Reserve(TObjectBlock::RoomFor<TProbe>(3));
        std::vector<std::unique_ptr<TProbe>> list;
        for (int i = 0; i < 5; ++i) // two more than the block has room for
            list.push_back(block.Make<TProbe>(i));
        EXPECT_EQ(live, 5);
        list.erase(list.begin() + 1); // in the block
        list.erase(list.begin() + 3); // on the heap
        EXPECT_EQ(live, 3);
        std::vector<int> kept;
        for (const auto& p : list) {
            kept.push_back(p->N);
            EXPECT_EQ(p->Text, "a text too long to sit in the string itself #" + std::to_string(p->N));
        }
        EXPECT_EQ(kept, (std::vector<int>{0, 2, 3}));
        list.push_back(std::make_unique<TProbe>(9)); // plain new, as elsewhere in the model
        EXPECT_EQ(live, 4);
    }
    EXPECT_EQ(live, 0);
}

// A constructor that throws gives its room back to nobody and loses
// nothing: the block and the heap stay sound for the next object.
TEST(ObjectBlockTest, AConstructorThatThrowsLeavesTheBlockSound)
{
    live = 0;
    {
        TObjectBlock block;
        block.Reserve(TObjectBlock::RoomFor<TProbe>(2));
        std::vector<std::unique_ptr<TProbe>> list;
        list.push_back(block.Make<TProbe>(1));
        EXPECT_THROW(block.Make<TProbe>(2, true), std::runtime_error); // in the block
        list.push_back(block.Make<TProbe>(3)); // on the heap: the block is full
        EXPECT_THROW(block.Make<TProbe>(4, true), std::runtime_error); // on the heap
        EXPECT_EQ(live, 2);
        EXPECT_EQ(list[1]->N, 3);
    }
    EXPECT_EQ(live, 0);
}

// Objects of a pool across several chunks, and a block placed in the same
// pool, outlive the pool and go in any order: every chunk is freed with its
// last object (a leak or a use after free shows under the sanitizers).
TEST(ObjectBlockTest, PooledObjectsOutliveTheirPoolAndGoInAnyOrder)
{
    live = 0;
    std::vector<std::unique_ptr<TProbe>> list;
    auto block = std::make_unique<TObjectBlock>();
    std::unique_ptr<TProbe> inBlock;
    const int count = 3 * static_cast<int>(TObjectPool::ChunkSize / TObjectBlock::RoomFor<TProbe>(1));
    {
        TObjectPool pool;
        for (int i = 0; i < count; ++i)
            list.push_back(pool.Make<TProbe>(i));
        block->Reserve(TObjectBlock::RoomFor<TProbe>(1), &pool);
        inBlock = block->Make<TProbe>(count);
        EXPECT_THROW(pool.Make<TProbe>(-1, true), std::runtime_error);
    }
    EXPECT_EQ(live, count + 1);
    for (size_t i = 0; i < list.size(); i += 2) // every other one, then the rest
        list[i].reset();
    EXPECT_EQ(inBlock->N, count);
    inBlock.reset(); // before its block, as the owners of blocks do
    block.reset();
    for (size_t i = 1; i < list.size(); i += 2)
        EXPECT_EQ(list[i]->N, static_cast<int>(i));
    list.clear();
    EXPECT_EQ(live, 0);
}

} // namespace
} // namespace telvo
