// krv-damage: writes a damaged copy of a mail store, leaving the original untouched.
#include "engine/file/CFile64.h"
#include "tools/krv-damage/DamageCopy.h"
#include "tools/krv-damage/DamageOptions.h"
#include "tools/krv-damage/DamagePlan.h"
#include "tools/krv-damage/StoreFacts.h"

#include <cstdio>
#include <exception>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace krv;
using namespace krv::damage;

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "krv-damage: %s\n", message.c_str());
    return kExitError;
}

// True when both names reach the same file, hard links and other spellings included.
bool SameFile(const std::string& a, const std::string& b)
{
    if (a == b) return true;
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string Detail(const DamageOptions& options, const DamagePlan& plan, const DamageOutcome& outcome,
                   uint64_t sourceSize)
{
    const std::string changed = std::to_string(outcome.bytesChanged) + " bytes changed";
    switch (options.kind) {
    case DamageKind::KillBbt:
    case DamageKind::KillNbt:
        return std::to_string(outcome.pagesZeroed) + " pages zeroed (" + changed + ")";
    case DamageKind::Truncate:
        return std::to_string(sourceSize - plan.copyLength) + " bytes cut off";
    case DamageKind::Shift:
        return std::to_string(sourceSize - plan.insertAt) + " bytes after it moved by " +
               std::to_string(plan.inserted.size());
    default:
        return changed;
    }
}

int Run(const DamageOptions& options)
{
    if (SameFile(options.input, options.output)) return Fail("OUT must not be IN: the original is never written");

    CFile64 source;
    CFileException error;
    if (!source.Open(options.input, modeRead | shareDenyWrite | typeBinary, &error)) return Fail(error.Description());
    const uint64_t sourceSize = source.GetLength();

    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(sourceSize, 4096)));
    head.resize(source.Read(head.data(), head.size()));
    const StoreFacts facts = ReadStoreFacts(head);

    const auto planned = BuildDamagePlan(options, facts, sourceSize);
    if (const auto* why = std::get_if<std::string>(&planned)) return Fail(*why);
    const DamagePlan& plan = std::get<DamagePlan>(planned);

    CFile64 copy;
    if (!copy.Open(options.output, modeCreate | modeWrite | shareExclusive | typeBinary, &error))
        return Fail(error.Description());
    DamageOutcome outcome;
    try {
        outcome = CopyWithDamage(source, copy, plan);
        copy.Close();
    } catch (const CFileException& e) {
        copy.Abort();
        ::unlink(options.output.c_str()); // a half-written copy would pass for a damaged one
        return Fail(e.Description());
    } catch (const std::exception& e) {
        copy.Abort();
        ::unlink(options.output.c_str());
        return Fail(e.what());
    }

    // A kind aimed at the B-tree pages that found none damaged nothing; the copy would pass
    // for a damaged store in whatever test or benchmark asked for one.
    const bool pageKind = options.kind == DamageKind::KillBbt || options.kind == DamageKind::KillNbt;
    if (pageKind && outcome.pagesZeroed == 0) {
        ::unlink(options.output.c_str());
        return Fail(plan.target + ": no such page found, nothing was damaged");
    }
    // Any other kind whose copy came out equal to the source (zeroes written over zeroes)
    // fails the same way: a cut or an insertion always changes the file, bytes written in
    // place only where they were not what they became.
    const bool reshaped = plan.copyLength < sourceSize || !plan.inserted.empty();
    if (!reshaped && outcome.bytesChanged == 0) {
        ::unlink(options.output.c_str());
        return Fail(plan.target + ": the bytes already held what the damage writes, nothing was damaged");
    }

    std::printf("krv-damage: %s: %s: %s; wrote %llu bytes to %s\n", std::string(KindName(options.kind)).c_str(),
                plan.target.c_str(), Detail(options, plan, outcome, sourceSize).c_str(),
                static_cast<unsigned long long>(outcome.bytesWritten), options.output.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(DamageUsage().data(), stdout);
            return 0;
        }
    }
    const auto parsed = ParseDamageArgs(argc, argv);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        Fail(*why);
        std::fputs(DamageUsage().data(), stderr);
        return kExitUsage;
    }
    try {
        return Run(std::get<DamageOptions>(parsed));
    } catch (const CFileException& e) {
        return Fail(e.Description());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
