// MapiAllocator.cpp: base blocks with a chain of dependent blocks, freed together.
#include "platform/mapi/MapiAllocator.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint64_t kBaseMagic = 0x4B52564D41504942ull;    // "KRVMAPIB"
constexpr uint64_t kChainedMagic = 0x4B52564D4150494Dull; // "KRVMAPIM"

// Sits in front of every block. For a base, link is the most recently chained block; for
// a chained block, it is the next older one. root is null for a base.
struct alignas(krv::kMapiAlignment) BlockHeader {
    uint64_t magic;
    BlockHeader* root;
    std::atomic<BlockHeader*> link;
};
static_assert(sizeof(BlockHeader) % krv::kMapiAlignment == 0);

std::atomic<size_t> g_liveBlocks{0};

BlockHeader* HeaderOf(void* user)
{
    return reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(user) - sizeof(BlockHeader));
}

void* UserOf(BlockHeader* header) { return reinterpret_cast<unsigned char*>(header) + sizeof(BlockHeader); }

// A zero-filled block with its header; null when the size is refused or memory is out.
BlockHeader* NewBlock(size_t size, uint64_t magic, BlockHeader* root)
{
    if (size > krv::kMaxMapiAllocation) return nullptr;
    const size_t rounded = (size + krv::kMapiAlignment - 1) & ~(krv::kMapiAlignment - 1);
    const size_t total = sizeof(BlockHeader) + rounded;
    void* raw = std::aligned_alloc(krv::kMapiAlignment, total);
    if (raw == nullptr) return nullptr;
    std::memset(raw, 0, total);
    auto* header = new (raw) BlockHeader{magic, root, {nullptr}};
    g_liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return header;
}

void DeleteBlock(BlockHeader* header)
{
    header->~BlockHeader();
    std::free(header);
    g_liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace

HRESULT MAPIAllocateBuffer(size_t cbSize, void** lppBuffer)
{
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    BlockHeader* header = NewBlock(cbSize, kBaseMagic, nullptr);
    if (header == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    *lppBuffer = UserOf(header);
    return S_OK;
}

HRESULT MAPIAllocateMore(size_t cbSize, void* lpObject, void** lppBuffer)
{
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    if (lpObject == nullptr) return MAPI_E_INVALID_PARAMETER;
    BlockHeader* base = HeaderOf(lpObject);
    // The magic catches a block that is not ours or already freed, in the cases where its
    // header can still be read; it is a guard against slips, not a proof of ownership.
    if (base->magic == kChainedMagic) base = base->root;
    if (base == nullptr || base->magic != kBaseMagic) return MAPI_E_INVALID_PARAMETER;

    BlockHeader* block = NewBlock(cbSize, kChainedMagic, base);
    if (block == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    BlockHeader* head = base->link.load(std::memory_order_relaxed);
    do {
        block->link.store(head, std::memory_order_relaxed);
    } while (!base->link.compare_exchange_weak(head, block, std::memory_order_release, std::memory_order_relaxed));
    *lppBuffer = UserOf(block);
    return S_OK;
}

ULONG MAPIFreeBuffer(void* lpBuffer)
{
    if (lpBuffer == nullptr) return 0;
    BlockHeader* base = HeaderOf(lpBuffer);
    if (base->magic != kBaseMagic) return 0;
    BlockHeader* block = base->link.exchange(nullptr, std::memory_order_acquire);
    while (block != nullptr) {
        BlockHeader* next = block->link.load(std::memory_order_relaxed);
        DeleteBlock(block);
        block = next;
    }
    DeleteBlock(base);
    return 0;
}

namespace krv {

size_t MapiLiveBlockCount() { return g_liveBlocks.load(std::memory_order_relaxed); }

} // namespace krv
