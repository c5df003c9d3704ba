// FileKind.h: which kinds of path the file classes open, and how long an open one is.
//
// The readers take a file's length once and read it at any offset up to there. A regular
// file and a block device (a disk or partition read whole, as an image) have such a
// length. A FIFO and a character device (a terminal, /dev/zero, /dev/urandom) have none:
// reading one until it ends may never end, or wait forever for a writer. Opens that read
// refuse them, with a cause that says what the path names. Writing to one (/dev/null,
// /dev/full) or opening it without access (for its times) is harmless and stays allowed.
// A directory is no file for any open, and a socket cannot be opened through its path.
#ifndef KRV_ENGINE_FILE_FILEKIND_H
#define KRV_ENGINE_FILE_FILEKIND_H

#include "platform/os/FileError.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>

namespace krv {

struct RefusedKind {
    FileCause cause;
    int osError; // the errno that stands for the refusal
};

// None when a path of this kind may be opened, reading or not (`reads`); else why not.
[[nodiscard]] std::optional<RefusedKind> RefusedFileKind(mode_t mode, bool reads);

// The length of what the descriptor reads: the size of a file, the capacity of a block
// device (whose st_size is 0). False with errno set when it cannot be had.
[[nodiscard]] bool DescriptorLength(int fd, uint64_t& length);

} // namespace krv

#endif
