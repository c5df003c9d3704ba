// BthBuilder.cpp: record arrays, index levels and the header of a BTH.
#include "platform/pst/ltp/BthBuilder.h"

#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <string>

namespace krv::pst {
namespace {

using pstformat::StoreLe;

constexpr size_t kHidSize = pstformat::kBthHidNextLevelSize;

// -1, 0, 1 as little-endian key a is below, equal to or above b.
int CompareKeys(const uint8_t* a, const uint8_t* b, size_t size)
{
    for (size_t i = size; i-- > 0;)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

size_t Arrays(size_t records, size_t perArray) { return (records + perArray - 1) / perArray; }

} // namespace

BthBuilder::BthBuilder(HeapBuilder& heap, uint8_t cbKey, uint8_t cbEnt) : m_heap(heap), m_cbKey(cbKey), m_cbEnt(cbEnt)
{
    if (!pstformat::IsBthKeySize(cbKey)) throw LtpError("BTH key size " + std::to_string(cbKey));
    if (!pstformat::IsBthEntrySize(cbEnt)) throw LtpError("BTH data size " + std::to_string(cbEnt));
    m_header = m_heap.Allocate(pstformat::kBthHeaderSize);
}

void BthBuilder::Reserve(size_t count)
{
    if (m_reserved) throw LtpError("BTH record arrays reserved twice");
    m_reserved = true;
    m_count = count;
    if (count == 0) return;
    const size_t leafRecord = m_cbKey + m_cbEnt;
    const size_t indexRecord = m_cbKey + kHidSize;
    // Every array but the last of a level is full; the plan is repeated by Write.
    size_t records = count;
    size_t recordSize = leafRecord;
    while (true) {
        const size_t perArray = kMaxHeapItem / recordSize;
        const size_t arrays = Arrays(records, perArray);
        std::vector<uint32_t> hids;
        hids.reserve(arrays);
        for (size_t a = 0; a < arrays; ++a) {
            const size_t n = std::min(perArray, records - a * perArray);
            hids.push_back(m_heap.Allocate(n * recordSize));
        }
        m_levels.push_back(std::move(hids));
        if (arrays == 1) break;
        records = arrays;
        recordSize = indexRecord;
    }
}

void BthBuilder::Write(std::span<const uint8_t> records)
{
    const size_t leafRecord = m_cbKey + m_cbEnt;
    if (records.size() % leafRecord != 0) throw LtpError("BTH records are not whole records");
    const size_t count = records.size() / leafRecord;
    if (!m_reserved) Reserve(count);
    if (count != m_count) throw LtpError("BTH record count differs from the reserved count");
    for (size_t i = 1; i < count; ++i)
        if (CompareKeys(&records[(i - 1) * leafRecord], &records[i * leafRecord], m_cbKey) >= 0)
            throw LtpError("BTH keys do not ascend at record " + std::to_string(i));

    // Leaves, then each index level from the first keys of the arrays of the level below.
    size_t recordSize = leafRecord;
    std::span<const uint8_t> source = records;
    std::vector<uint8_t> indexRecords; // what `source` spans above the leaves
    for (size_t level = 0; level < m_levels.size(); ++level) {
        const std::vector<uint32_t>& arrays = m_levels[level];
        const size_t perArray = kMaxHeapItem / recordSize;
        std::vector<uint8_t> above(arrays.size() * (m_cbKey + kHidSize));
        for (size_t a = 0; a < arrays.size(); ++a) {
            std::span<uint8_t> array = m_heap.At(arrays[a]);
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(a * perArray * recordSize), array.size(),
                        array.begin());
            uint8_t* r = above.data() + a * (m_cbKey + kHidSize);
            std::copy_n(array.begin(), m_cbKey, r);
            StoreLe<uint32_t>(r + m_cbKey, arrays[a]);
        }
        indexRecords = std::move(above);
        source = indexRecords;
        recordSize = m_cbKey + kHidSize;
    }

    std::span<uint8_t> header = m_heap.At(m_header);
    header[pstformat::kBthBType] = kClientSigBth;
    header[pstformat::kBthCbKey] = m_cbKey;
    header[pstformat::kBthCbEnt] = m_cbEnt;
    header[pstformat::kBthIdxLevels] = static_cast<uint8_t>(m_levels.empty() ? 0 : m_levels.size() - 1);
    StoreLe<uint32_t>(header.data() + pstformat::kBthHidRoot, m_levels.empty() ? 0 : m_levels.back().front());
}

} // namespace krv::pst
