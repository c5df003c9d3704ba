// krv-pstcheck: checks a mail store against the rules of its format and prints every
// problem it finds, one per line. Exit status: 0 clean (warnings allowed), 1 problems
// found, 2 usage or open errors.
#include "tools/krv-pstcheck/AllocationMapCheck.h"
#include "tools/krv-pstcheck/BTreeCheck.h"
#include "tools/krv-pstcheck/BlockCheck.h"
#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/FileImage.h"
#include "tools/krv-pstcheck/HeaderCheck.h"
#include "tools/krv-pstcheck/LtpCheck.h"
#include "tools/krv-pstcheck/MessagingCheck.h"
#include "tools/krv-pstcheck/NamedPropertyCheck.h"
#include "tools/krv-pstcheck/NodeTreeCheck.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

using namespace krv::pstcheck;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: krv-pstcheck FILE\n"
    "Checks a .pst or .ost file against the rules of its format and prints each problem as\n"
    "  error|warning RULE: WHERE: WHAT\n"
    "then a summary. Exit status: 0 no errors (warnings allowed), 1 errors found,\n"
    "2 usage or open errors.\n";

void RunChecks(std::span<const uint8_t> file, Report& report)
{
    const auto store = CheckHeader(file, report);
    if (!store) return;
    const BTreeIndex index = CheckBTrees(*store, report);
    CheckHeaderCounters(*store, index, report);
    const auto sound = CheckBlocks(*store, index, report);
    CheckAllocationMaps(*store, index, report);
    const BlockReader reader(*store, index, sound);
    CheckNodeTrees(reader, report);
    CheckLtp(reader, report);
    CheckMessaging(reader, report);
    CheckNamedProperties(reader, report);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        const bool help = argc == 2;
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? kExitClean : kExitUsage;
    }
    const std::string path = argv[1];
    FileImage image;
    std::string error;
    if (!image.Open(path, error)) {
        std::fprintf(stderr, "krv-pstcheck: %s\n", error.c_str());
        return kExitUsage;
    }
    Report report;
    try {
        RunChecks(image.Bytes(), report);
    } catch (const std::bad_alloc&) {
        report.Error("check.memory", path, "ran out of memory; the checks stopped early");
    } catch (const std::exception& e) {
        report.Error("check.internal", path, std::string("the checks stopped early: ") + e.what());
    }
    report.Print(stdout);
    std::printf("krv-pstcheck: %s: %zu errors, %zu warnings\n", path.c_str(), report.Errors(), report.Warnings());
    return report.Errors() == 0 ? kExitClean : kExitProblems;
}
