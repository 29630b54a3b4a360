#include "config/block_pool.h"
#include "config/config_section.h"

#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(BlockPool, PoolsAndSharedCountsServeSeveralThreadsAtOnce)
{
    // Each thread makes entries (entry and count blocks) marked with its number and
    // copies one shared handle as often, then checks and drops them all: a block handed
    // to two threads at once shows another thread's mark, and a count changed without
    // interlocking ends above 1 or frees the shared entry early.
    const SharedRef<ConfigEntry> shared(new ConfigEntry{"shared", ""});
    std::vector<int> failures(4, 0);
    std::vector<std::unique_ptr<kstest::Thread>> threads;
    for (int t = 0; t < 4; ++t)
        threads.push_back(std::make_unique<kstest::Thread>([t, &shared, &failures] {
            const std::string mark(20, static_cast<char>('a' + t));
            for (int round = 0; round < 50; ++round) {
                std::vector<SharedRef<ConfigEntry>> own, copies(1000, shared);
                for (int i = 0; i < 1000; ++i)
                    own.emplace_back(new ConfigEntry{mark, ""});
                for (const SharedRef<ConfigEntry>& entry : own)
                    failures[t] += entry->key != mark;
            }
        }));
    threads.clear();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(shared.UseCount(), 1);
    EXPECT_EQ(shared->key, "shared");
}

}  // namespace
