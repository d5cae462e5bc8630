#include "base/BlockMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>
#include <sys/resource.h>

namespace {

long threadFaults()
{
    rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

struct Burst
{
    std::size_t blockSize;
    int blocks;
};

void PrintTo(const Burst &burst, std::ostream *out)
{
    *out << burst.blocks << " blocks of " << burst.blockSize << " bytes";
}

// What a fast transfer does to memory: blocks pile up (a read-ahead, a
// writer's queue) and are all freed once the other side catches up, again
// and again. Returns the page faults of the second half of the rounds (the
// first ones may fault the heap in).
long faultsOfBursts(const Burst &burst, int rounds)
{
    long before = 0;
    std::vector<char *> blocks;
    for (int round = 0; round < rounds; ++round) {
        if (round == rounds / 2)
            before = threadFaults();
        for (int i = 0; i < burst.blocks; ++i) {
            char *block = static_cast<char *>(std::malloc(burst.blockSize));
            std::memset(block, round, burst.blockSize);
            // The block must really be written, not folded away with its free.
            asm volatile("" : : "r"(block) : "memory");
            blocks.push_back(block);
        }
        for (char *block : blocks)
            std::free(block);
        blocks.clear();
    }
    return threadFaults() - before;
}

} // namespace

// Each case runs in a fresh process, so the allocator starts from its
// defaults whatever the other tests allocated before.
class BlockMemory : public ::testing::TestWithParam<Burst>
{
protected:
    void SetUp() override
    {
#if defined(VOXLANE_SANITIZED_BUILD)
        GTEST_SKIP() << "a sanitizer brings its own allocator";
#endif
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

// Once set, freed blocks are taken again for the next ones: no page of
// the second half of the run is faulted in anew (under the library's
// defaults each drained burst is handed back to the system and faulted in
// again, a fault per page).
TEST_P(BlockMemory, FreedBlocksServeTheNextOnesWithoutFaultingPagesIn)
{
    const Burst burst = GetParam();
    EXPECT_EXIT(
        {
            KeepBlockMemory();
            const long faults = faultsOfBursts(burst, 40);
            std::fprintf(stderr, "faults %ld\n", faults);
            std::exit(faults < 64 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "faults");
}

// Blocks received and queued for the writer (64 KiB and their header),
// up to the 8 MiB the writer may hold; read-ahead batches of 1 MiB.
INSTANTIATE_TEST_SUITE_P(Bursts, BlockMemory,
    ::testing::Values(Burst { 65552, 32 }, Burst { 65552, 128 }, Burst { std::size_t(1) << 20, 8 }));
