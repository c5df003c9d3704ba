// CorpusFiles.h: finding and loading the real mail stores that tests are checked against.
#ifndef KRV_TESTS_SUPPORT_CORPUSFILES_H
#define KRV_TESTS_SUPPORT_CORPUSFILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace krv::test {

// The .pst and .ost files directly in `dir`, sorted by name; empty when the folder is
// absent.
std::vector<std::string> ListCorpusFiles(const std::string& dir);

// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

} // namespace krv::test

#endif
