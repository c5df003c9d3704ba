// MapiAllocatorTest.cpp: base and chained blocks: chaining, freeing, alignment, limits.
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropValue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace krv {
namespace {

void* const kSentinel = reinterpret_cast<void*>(uintptr_t{0x1234});

TEST(MapiAllocator, FreeingTheBaseFreesEveryChainedBlock)
{
    const size_t before = MapiLiveBlockCount();
    void* base = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(64, &base), S_OK);
    std::vector<void*> chained;
    for (size_t size : {1u, 16u, 300u, 4096u}) {
        void* block = nullptr;
        ASSERT_EQ(MAPIAllocateMore(size, base, &block), S_OK);
        std::memset(block, 0xAB, size);
        chained.push_back(block);
    }
    // A block chained to a chained block joins the same base.
    void* grandchild = nullptr;
    ASSERT_EQ(MAPIAllocateMore(32, chained[1], &grandchild), S_OK);
    std::memset(grandchild, 0xCD, 32);
    EXPECT_EQ(MapiLiveBlockCount(), before + 6);

    // Freeing a chained block alone leaves it to its base (still usable until then).
    EXPECT_EQ(MAPIFreeBuffer(chained[0]), 0u);
    EXPECT_EQ(MapiLiveBlockCount(), before + 6);
    static_cast<unsigned char*>(chained[0])[0] = 1;

    EXPECT_EQ(MAPIFreeBuffer(base), 0u);
    EXPECT_EQ(MapiLiveBlockCount(), before);
    EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
}

TEST(MapiAllocator, BlocksAreAlignedAndZeroFilled)
{
    for (size_t size : {0u, 1u, 7u, 15u, 16u, 17u, 24u, 100u, 4096u, 65537u}) {
        SCOPED_TRACE(size);
        MapiPtr<unsigned char> base;
        void* raw = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(size, &raw), S_OK);
        base.reset(static_cast<unsigned char*>(raw));
        ASSERT_NE(raw, nullptr);
        void* more = nullptr;
        ASSERT_EQ(MAPIAllocateMore(size, raw, &more), S_OK);
        ASSERT_NE(more, nullptr);
        for (void* p : {raw, more}) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % kMapiAlignment, 0u);
            const auto* bytes = static_cast<const unsigned char*>(p);
            for (size_t i = 0; i < size; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
}

TEST(MapiAllocator, RefusesOversizedAndMalformedRequests)
{
    const size_t before = MapiLiveBlockCount();
    void* base = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(8, &base), S_OK);

    const size_t tooBig[] = {
        kMaxMapiAllocation + 1, std::numeric_limits<size_t>::max(),
        MapiArrayBytes(8, std::numeric_limits<size_t>::max() / 4, 16), // overflowed product
    };
    for (size_t size : tooBig) {
        SCOPED_TRACE(size);
        void* out = kSentinel;
        EXPECT_EQ(MAPIAllocateBuffer(size, &out), MAPI_E_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(out, nullptr);
        out = kSentinel;
        EXPECT_EQ(MAPIAllocateMore(size, base, &out), MAPI_E_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(out, nullptr);
    }

    SPropValue* values = nullptr;
    EXPECT_EQ(MapiAllocateArray(std::numeric_limits<size_t>::max() / 8, &values), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(values, nullptr);

    EXPECT_EQ(MAPIAllocateBuffer(8, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(MAPIAllocateMore(8, base, nullptr), MAPI_E_INVALID_PARAMETER);
    void* out = kSentinel;
    EXPECT_EQ(MAPIAllocateMore(8, nullptr, &out), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(out, nullptr);

    MAPIFreeBuffer(base);
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(MapiAllocator, ArrayBytesSaturatesInsteadOfWrapping)
{
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    EXPECT_EQ(MapiArrayBytes(8, 3, 24), 80u);
    EXPECT_EQ(MapiArrayBytes(4, 0, 4), 4u);
    EXPECT_EQ(MapiArrayBytes(8, kMax / 24 + 1, 24), kMax);
    EXPECT_EQ(MapiArrayBytes(16, (kMax - 15) / 4 + 1, 4), kMax);
}

TEST(MapiAllocator, ChainingFromSeveralThreadsLosesNoBlock)
{
    const size_t before = MapiLiveBlockCount();
    void* base = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(16, &base), S_OK);
    constexpr int kThreads = 4;
    constexpr int kBlocksEach = 500;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([base, t, &failures] {
            for (int i = 0; i < kBlocksEach; ++i) {
                void* block = nullptr;
                if (MAPIAllocateMore(24, base, &block) != S_OK) {
                    ++failures[t];
                    continue;
                }
                std::memset(block, t, 24);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int f : failures) EXPECT_EQ(f, 0);
    EXPECT_EQ(MapiLiveBlockCount(), before + 1 + kThreads * kBlocksEach);
    MAPIFreeBuffer(base);
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

} // namespace
} // namespace krv
