// Unicode4kCopy.h: a copy of a sound 64-bit store in the 4 KiB-page layout of offline
// folder files (Layout.h, kUnicode4k), for test fixtures only.
//
// Outlook 2013 and later write this layout and nothing here is meant to make such files for
// users: the repair's output stays a .pst of the 32- or 64-bit layout. Tests need files of
// the layout, healthy and then damaged, to read back; rather than teach the copy-on-write
// writer a second page and block geometry, the copy lays out every block and node of a
// store written by NdbWriter afresh: blocks on 512-byte boundaries with the 24-byte trailer
// (optionally zlib-compressed), both B-trees rebuilt of 4096-byte pages, one allocation map
// per interval and the header with wVer 36. BIDs, NIDs and the data are kept (but for the
// HIDs of property contexts of several heap blocks, which this layout encodes otherwise),
// so the copy holds exactly what the source does.
#ifndef KRV_PLATFORM_PST_NDB_UNICODE4KCOPY_H
#define KRV_PLATFORM_PST_NDB_UNICODE4KCOPY_H

#include "platform/pst/ndb/NdbError.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace krv::pst {

struct Unicode4kCopyOptions {
    // Compress the data blocks (not XBLOCKs, XXBLOCKs or subnode blocks) whose zlib stream
    // is shorter than their data. Blocks of an encoded store are left as they are.
    bool compress = false;
    // "SO", an offline folder file, as Outlook writes this layout; false keeps the source's.
    bool offlineClient = true;
    // Nodes left out of the copy's node tree (their blocks stay): for fixtures of what such
    // files are known to hold, such as a folder with messages but no contents table.
    std::function<bool(uint32_t nid)> dropNode;
    // Property IDs taken out of the message store's property context, for fixtures of the
    // stores Outlook writes in this layout, whose message store names no IPM subtree
    // (0x35E0) and may lack the other special folders' entry IDs.
    std::vector<uint16_t> dropStoreProperties;
};

// What the copy wrote, for the tests and the tools that report it.
struct Unicode4kCopyStats {
    uint64_t blocks = 0;
    uint64_t compressedBlocks = 0;
    uint64_t nodes = 0;
    uint64_t fileSize = 0;
};

// Copies the 64-bit store at `source` into a new file `target` (replaced when it exists).
// BadContent when the source is not a sound 64-bit store (a header whose CRCs fail, a
// B-tree page or block that does not check out, a tree deeper than any store has), when it
// holds a heap of more than one block that is no property context (a table context, whose
// rows hold HIDs the copy does not rewrite; a property context's HIDs are spelled in the
// layout's encoding, pstformat/Heap.h) or one of more than one XBLOCK, or when properties
// are to be dropped from an encoded store or from a message store that is no property
// context of one block;
// WriteFailed when the file system refuses.
[[nodiscard]] NdbError CopyAsUnicode4k(const std::string& source, const std::string& target,
                                       const Unicode4kCopyOptions& options, Unicode4kCopyStats* stats = nullptr);

} // namespace krv::pst

#endif
