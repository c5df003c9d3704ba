// HeapIds.h: the heap-on-node facts the LTP builders use, under the names pstformat gives them.
#ifndef KRV_PLATFORM_PST_LTP_HEAPIDS_H
#define KRV_PLATFORM_PST_LTP_HEAPIDS_H

#include "pstformat/Heap.h"

namespace krv::pst {

using pstformat::HeapBlockHeaderSize;
using pstformat::HidAllocIndex;
using pstformat::HidBlockIndex;
using pstformat::IsHeapBitmapBlock;
using pstformat::IsHid;
using pstformat::kClientSigBth;
using pstformat::kClientSigPropertyContext;
using pstformat::kClientSigTableContext;
using pstformat::kFillLevelsPerBitmap;
using pstformat::kHeapBitmapHeaderSize;
using pstformat::kHeapHeaderSize;
using pstformat::kHeapPageHeaderSize;
using pstformat::kHeapSignature;
using pstformat::kMaxHeapBlocks;
using pstformat::kMaxHeapItem;
using pstformat::kMaxItemsPerHeapBlock;
using pstformat::MakeHid;

} // namespace krv::pst

#endif
