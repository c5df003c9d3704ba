// OlefileJudge.h: python3-olefile as an independent reader of compound files: what it
// lists in a file, in the same words as the tests describe a tree.
#ifndef KRV_TESTS_STORAGE_OLEFILEJUDGE_H
#define KRV_TESTS_STORAGE_OLEFILEJUDGE_H

#include "tests/storage/StorageTestTree.h"

#include <set>
#include <string>

namespace krv::test {

// True when /usr/bin/python3 can import olefile (Debian's python3-olefile).
bool OlefileAvailable();

// One line per element: "storage a/b" or "stream a/b/c SIZE FNV1A32".
std::set<std::string> DescribeTree(const TestStorage& tree);

// The same lines as olefile reads them from the file at `path`; olefile is told to treat
// every defect it finds as an error. Fails when olefile does.
::testing::AssertionResult OlefileDescribe(const std::string& path, std::set<std::string>* lines);

} // namespace krv::test

#endif
