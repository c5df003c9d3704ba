// RecoveryFuzzEntry.h: the body of the repair's fuzz target, callable without libFuzzer.
//
// An input is one store image behind an option byte. The entry runs the whole repair a
// job runs over it (open, probe, scan and index, named properties, special folders, the
// folder walk and the deeper passes chosen, down to every property transferred) into a
// real output store, with the image, the output, the messaging profile and every
// temporary file in a private directory of its own (under /dev/shm where there is one),
// and removes all of it again before it answers.
//
// Option byte: bit 0 the output layout (0 32-bit, 1 64-bit); bits 1-5 the deeper passes 1
// to 5; bit 6 leave the image's checks as they are: without it the image is sealed first
// (blocks, pages and header get checks that match their mutated contents, in the layout
// the header names), so that most mutations reach the passes and not only the scan; bit 7 the other choice of every remaining switch (full scan, zero
// blocks kept, the root found by its self-parent link, empty folders removed, the root's
// items under the root folder, unattached attachments left out).
//
// With KRV_FUZZ_VERBOSE set in the environment, every run prints its item count and the
// errors the job sent; with KRV_FUZZ_KEEP_OUTPUT naming a directory, every output store is
// copied there, for judges too slow to run on every input (krv-pstcheck, pffinfo).
//
// The answer is empty when every check held, else a description of the first that failed;
// a crash, hang, leak or sanitizer report is the other way an input fails.
#ifndef KRV_FUZZ_RECOVERYFUZZENTRY_H
#define KRV_FUZZ_RECOVERYFUZZENTRY_H

#include <cstdint>
#include <span>
#include <string>

namespace krv::fuzz {

// Checks: the job reports its item count once and ends without a general or unknown error
// (an exception that escaped a pass) and without failing to start messaging or to create
// the output; every MAPI block is freed, every file descriptor closed, and no profile or
// temporary file is left behind.
std::string RunRecoveryInput(std::span<const uint8_t> input);

// The option byte of a front end's default repair into the given output layout.
uint8_t DefaultRecoveryOptions(bool unicodeOutput);

} // namespace krv::fuzz

#endif
