// MemoryStream.cpp: reading, writing and seeking in a stream of the storage tree.
#include "platform/storage/MemoryStream.h"

#include "platform/storage/CompoundFormat.h"
#include "platform/storage/StatRecord.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace krv::storage {

MemoryStream* MemoryStream::Create(std::shared_ptr<StorageRoot> root, std::shared_ptr<StreamNode> node, DWORD mode)
{
    return new MemoryStream(std::move(root), std::move(node), mode);
}

MemoryStream::MemoryStream(std::shared_ptr<StorageRoot> root, std::shared_ptr<StreamNode> node, DWORD mode)
    : root_(std::move(root)), node_(std::move(node)), generation_(root_->generation), mode_(mode)
{}

bool MemoryStream::Reverted() const { return node_->detached || generation_ != root_->generation; }

bool MemoryStream::Writable() const { return root_->writable && (mode_ & (STGM_WRITE | STGM_READWRITE)) != 0; }

HRESULT MemoryStream::Read(void* buffer, ULONG cb, ULONG* cbRead)
{
    if (cbRead != nullptr) *cbRead = 0;
    if (buffer == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    const std::vector<uint8_t>& bytes = node_->Bytes();
    if (position_ >= bytes.size()) return S_OK;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(cb, bytes.size() - position_));
    if (count > 0) std::memcpy(buffer, bytes.data() + position_, count);
    position_ += count;
    if (cbRead != nullptr) *cbRead = static_cast<ULONG>(count);
    return S_OK;
}

HRESULT MemoryStream::Write(const void* buffer, ULONG cb, ULONG* cbWritten)
{
    if (cbWritten != nullptr) *cbWritten = 0;
    if (buffer == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    if (!Writable()) return STG_E_ACCESSDENIED;
    if (cb == 0) return S_OK;
    // No stream may outgrow the largest compound file that can hold it.
    if (position_ + cb > kMaxCompoundFileBytes) return STG_E_MEDIUMFULL;
    try {
        std::vector<uint8_t>& bytes = node_->MutableBytes();
        const size_t end = static_cast<size_t>(position_ + cb);
        if (bytes.size() < end) bytes.resize(end, 0);
        std::memcpy(bytes.data() + position_, buffer, cb);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    position_ += cb;
    if (cbWritten != nullptr) *cbWritten = cb;
    return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    if (Reverted()) return STG_E_REVERTED;
    int64_t base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<int64_t>(position_);
        break;
    case STREAM_SEEK_END:
        base = static_cast<int64_t>(node_->Bytes().size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    // Positions stay below kMaxCompoundFileBytes, so base + move cannot overflow unless
    // move itself is extreme.
    const int64_t delta = move.QuadPart;
    if ((delta > 0 && base > std::numeric_limits<int64_t>::max() - delta) || base + delta < 0) {
        return STG_E_INVALIDFUNCTION;
    }
    position_ = static_cast<uint64_t>(base + delta);
    if (newPosition != nullptr) newPosition->QuadPart = position_;
    return S_OK;
}

HRESULT MemoryStream::SetSize(ULARGE_INTEGER newSize)
{
    if (Reverted()) return STG_E_REVERTED;
    if (!Writable()) return STG_E_ACCESSDENIED;
    if (newSize.QuadPart > kMaxCompoundFileBytes) return STG_E_MEDIUMFULL;
    try {
        node_->MutableBytes().resize(static_cast<size_t>(newSize.QuadPart), 0);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStream::Commit(DWORD /*flags*/)
{
    // Writes are already in the tree; the root's Commit carries them further.
    return Reverted() ? STG_E_REVERTED : S_OK;
}

HRESULT MemoryStream::Stat(STATSTG* stat, DWORD statFlag)
{
    if (Reverted()) return STG_E_REVERTED;
    HRESULT hr = BeginStat(stat, statFlag, STGTY_STREAM, node_->name);
    if (FAILED(hr)) return hr;
    stat->cbSize.QuadPart = node_->Bytes().size();
    stat->grfMode = mode_;
    return S_OK;
}

} // namespace krv::storage
