// OlefileJudge.cpp: running olefile over a file and describing trees the same way.
#include "tests/storage/OlefileJudge.h"

#include "platform/os/CodePage.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace krv::test {

namespace {

uint32_t Fnv1a(const std::vector<uint8_t>& bytes)
{
    uint32_t h = 2166136261u;
    for (uint8_t b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

void Describe(const TestStorage& tree, const std::string& path, std::set<std::string>& lines)
{
    for (const auto& [name, bytes] : tree.streams) {
        lines.insert("stream " + path + Utf16ToUtf8(name) + " " + std::to_string(bytes.size()) + " " +
                     std::to_string(Fnv1a(bytes)));
    }
    for (const auto& [name, child] : tree.storages) {
        lines.insert("storage " + path + Utf16ToUtf8(name));
        Describe(child, path + Utf16ToUtf8(name) + "/", lines);
    }
}

// Element names may hold control characters (\x01CompObj), so olefile prints them
// escaped and the escapes are undone here.
constexpr const char* kScript = R"PY(
import olefile, sys
ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
def fnv(b):
    h = 2166136261
    for x in b:
        h = ((h ^ x) * 16777619) & 0xffffffff
    return h
for e in ole.listdir(streams=True, storages=True):
    p = '/'.join(e).encode('utf-8').hex()
    if ole.get_type(e) == olefile.STGTY_STREAM:
        d = ole.openstream(e).read()
        print('stream', p, len(d), fnv(d))
    else:
        print('storage', p)
)PY";

std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

} // namespace

bool OlefileAvailable() { return std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") == 0; }

std::set<std::string> DescribeTree(const TestStorage& tree)
{
    std::set<std::string> lines;
    Describe(tree, "", lines);
    return lines;
}

::testing::AssertionResult OlefileDescribe(const std::string& path, std::set<std::string>* lines)
{
    lines->clear();
    const std::string command =
        std::string("/usr/bin/python3 -c \"$(cat <<'PY'\n") + kScript + "PY\n)\" '" + path + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return ::testing::AssertionFailure() << "cannot run python3";
    std::string output;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        std::string text(buffer.data());
        if (!text.empty() && text.back() == '\n') text.pop_back();
        output += text + "\n";
        // "kind HEXPATH [size hash]": the path back to UTF-8.
        const size_t first = text.find(' ');
        if (first == std::string::npos) continue;
        const size_t second = text.find(' ', first + 1);
        const bool last = second == std::string::npos;
        const std::string hex = text.substr(first + 1, last ? std::string::npos : second - first - 1);
        lines->insert(text.substr(0, first + 1) + FromHex(hex) + (last ? "" : text.substr(second)));
    }
    if (::pclose(pipe) != 0) return ::testing::AssertionFailure() << "olefile failed:\n" << output;
    return ::testing::AssertionSuccess();
}

} // namespace krv::test
