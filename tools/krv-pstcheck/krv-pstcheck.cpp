// krv-pstcheck: checks a mail store against the rules of its format and prints every
// problem it finds, one per line. Exit status: 0 clean (warnings allowed), 1 problems
// found, 2 usage or open errors, 3 a file of the 4 KiB-page layout whose header is sound
// (the rest of such a file is not checked).
#include "tools/krv-pstcheck/AllocationMapCheck.h"
#include "tools/krv-pstcheck/BTreeCheck.h"
#include "tools/krv-pstcheck/BlockCheck.h"
#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/HeaderCheck.h"
#include "tools/krv-pstcheck/LtpCheck.h"
#include "tools/krv-pstcheck/MessagingCheck.h"
#include "tools/krv-pstcheck/NamedPropertyCheck.h"
#include "tools/krv-pstcheck/NodeTreeCheck.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/StoreFile.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

using namespace krv::pstcheck;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLayoutUnchecked = 3;

constexpr const char* kUsage = "usage: krv-pstcheck FILE\n"
                               "Checks a .pst or .ost file against the rules of its format and prints each problem as\n"
                               "  error|warning RULE: WHERE: WHAT\n"
                               "then a summary. Exit status: 0 no errors (warnings allowed), 1 errors found,\n"
                               "2 usage or open errors, 3 an offline folder file of Outlook 2013 or later (the\n"
                               "4 KiB-page layout, wVer 36) whose header is sound: the rest of it is not checked.\n";

void RunChecks(const StoreFile& file, Report& report)
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
    StoreFile file;
    std::string error;
    if (!file.Open(path, error)) {
        std::fprintf(stderr, "krv-pstcheck: %s\n", error.c_str());
        return kExitUsage;
    }
    Report report;
    bool unchecked = false;
    try {
        unchecked = CheckUnicode4kHeader(file, report);
        if (!unchecked) RunChecks(file, report);
    } catch (const std::bad_alloc&) {
        report.Error("check.memory", path, "ran out of memory; the checks stopped early");
    } catch (const std::exception& e) {
        report.Error("check.internal", path, std::string("the checks stopped early: ") + e.what());
    }
    // Checks of a file that changed under them judged no one file: say so, whatever they found.
    if (const auto at = file.ShortReadAt())
        report.Error("file.changed", path,
                     "a read at ib " + Hex(*at) + " came back short: the file shrank below the " +
                         std::to_string(file.Size()) + " bytes it had, or could not be read, while it was checked");
    report.Print(stdout);
    if (unchecked)
        std::printf("krv-pstcheck: %s: the 4 KiB-page layout of offline folder files of Outlook 2013 and later "
                    "(wVer 36): only the header was checked\n",
                    path.c_str());
    std::printf("krv-pstcheck: %s: %zu errors, %zu warnings\n", path.c_str(), report.Errors(), report.Warnings());
    if (report.Errors() != 0) return kExitProblems;
    return unchecked ? kExitLayoutUnchecked : kExitClean;
}
