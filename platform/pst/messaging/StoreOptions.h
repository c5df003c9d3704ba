// StoreOptions.h: what a new store is made with: layout, block encoding, display name, and
// how often the store makes its file a complete store on the way (checkpoints).
#ifndef KRV_PLATFORM_PST_MESSAGING_STOREOPTIONS_H
#define KRV_PLATFORM_PST_MESSAGING_STOREOPTIONS_H

#include "platform/pst/ndb/NdbWriter.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <string>

namespace krv::pst {

// A checkpoint writes the folder tables, the name map and the store's properties, then the
// B-trees, maps and header, so that the file is a complete store of everything saved so
// far. It costs time in proportion to the store's size (the tables of changed folders and
// both B-trees are rewritten whole), so it comes after many messages, not after each.
// 0 turns a trigger off; the store always checkpoints when it is closed.
struct CheckpointPolicy {
    uint32_t messages = 10000;             // after this many messages written
    uint64_t bytes = 256ull * 1024 * 1024; // after this many bytes of messages written
};

struct StoreOptions {
    pstformat::Layout layout = pstformat::Layout::Unicode;
    CryptMethod crypt = CryptMethod::None;
    std::u16string displayName = u"Recovered Personal Folder";
    CheckpointPolicy checkpoint;
    bool replaceExisting = false; // unlink a file already at the path instead of failing
};

} // namespace krv::pst

#endif
