#include "config/block_pool.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(BlockPool, ReusesBlocksAndGivesEmptyChunksBack)
{
    static BlockPool pool(44);
    ASSERT_EQ(pool.BlockSize(), 48u);
    std::vector<char*> blocks;  // several chunks' worth
    for (int i = 0; i < 5000; ++i) {
        blocks.push_back(static_cast<char*>(pool.Allocate()));
        ASSERT_TRUE(blocks.back());
        memset(blocks.back(), i & 0xFF, 48);
    }
    for (size_t i = 0; i < blocks.size(); ++i)
        ASSERT_EQ(blocks[i][0] + blocks[i][47], 2 * static_cast<char>(i & 0xFF));
    pool.Release(blocks[10]);
    EXPECT_EQ(pool.Allocate(), blocks[10]);
    for (char* block : blocks)
        pool.Release(block);
    pool.Release(nullptr);
    for (const char* block : {blocks.front(), blocks.back()}) {
        MEMORY_BASIC_INFORMATION info = {};
        VirtualQuery(block, &info, sizeof(info));
        EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
    }
}

TEST(BlockPool, ServesSeveralThreadsAtOnce)
{
    // Each thread marks its blocks; a block handed to two threads at once shows up as
    // another thread's mark.
    static BlockPool pool(sizeof(LONG));
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::vector<LONG*> held;
            for (int round = 0; round < 100; ++round) {
                for (int i = 0; i < 500; ++i) {
                    held.push_back(static_cast<LONG*>(pool.Allocate()));
                    *held.back() = t;
                }
                for (size_t i = round % 2; i < held.size(); i += 2) {
                    failures[t] += *held[i] != t;
                    pool.Release(held[i]);
                    held[i] = held.back();
                    held.pop_back();
                }
            }
            for (LONG* block : held) {
                failures[t] += *block != t;
                pool.Release(block);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
