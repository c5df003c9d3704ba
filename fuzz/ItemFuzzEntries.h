// ItemFuzzEntries.h: the bodies of the item layer's fuzz targets, callable without libFuzzer.
//
// An input describes one node: its data blocks (arbitrary bytes, meant to be a heap) and
// its subnodes. The entry builds a sound store image around those bytes (blocks with valid
// trailers, an XBLOCK when there are several, an SLBLOCK for the subnodes), lets the
// reader scan it as a job would, and reads the node through the item layer. So every
// input reaches the heap, BTH, property-context and table-context code, whatever its bytes.
//
// Input: byte 0 the options, byte 1 the number of data blocks (1 + value % 4), then pieces,
// each a 2-byte little-endian length and that many bytes (cut to what is left and to the
// layout's largest block). The first pieces are the data blocks; each later one is a
// subnode whose first 4 bytes are its NID and the rest its data (at most 8 subnodes).
//
// Option byte: bit 0 layout (0 32-bit, 1 64-bit); bits 1-2 the encoding the blocks are
// stored with (plain, permute, cyclic, plain); bit 3 load with the encoding found by trial
// instead of the stored one; bit 4 do not load the node at all; bits 5-7 the length (1 to
// 8) of the byte runs handed straight to ConvertValue.
//
// The answer is empty when every check held, else a description of the first that failed;
// a crash, hang, leak or sanitizer report is the other way an input fails.
#ifndef KRV_FUZZ_ITEMFUZZENTRIES_H
#define KRV_FUZZ_ITEMFUZZENTRIES_H

#include <cstdint>
#include <span>
#include <string>

namespace krv::fuzz {

// GetAllProps, GetOneProp for every tag it returned, GetHeapKind, and ConvertValue over
// runs of the node's bytes for every type in both value modes. Checks: one entry per BTH
// leaf record; GetOneProp agrees with the first record of its tag; every value can be read
// to its last byte; every MAPI block is freed again.
std::string RunPropertyContextInput(std::span<const uint8_t> input);

// ReadTable, then FreeRows. Checks: a refused table leaves both outputs empty; an accepted
// one has one row array per row, each with one entry per column, whose entry is the
// column's property (or PT_ERROR under its identifier); every value can be read to its
// last byte; every MAPI block is freed again.
std::string RunTableContextInput(std::span<const uint8_t> input);

} // namespace krv::fuzz

#endif
