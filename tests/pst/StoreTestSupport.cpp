// StoreTestSupport.cpp: reading stores back, building test values, running the judges.
#include "tests/pst/StoreTestSupport.h"

#include "platform/os/CodePage.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "tests/file/FileFixture.h"
#include "tests/support/MappedFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <sys/wait.h>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool AllDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool IsNumbered(const std::string& name, const std::string& prefix)
{
    return name.size() > prefix.size() && name.rfind(prefix, 0) == 0 && AllDigits(name.substr(prefix.size()));
}

// The value after "Subject:" on the first line that starts with it, blanks trimmed.
std::string SubjectLine(const std::string& text, size_t from = 0)
{
    const size_t at = text.find("Subject:", from);
    if (at == std::string::npos || (at != 0 && text[at - 1] != '\n')) return {};
    size_t begin = at + 8;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    const size_t end = text.find('\n', begin);
    std::string value = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    return value;
}

std::vector<std::string> AllSubjectLines(const std::string& text)
{
    std::vector<std::string> subjects;
    for (size_t at = text.find("\nSubject:"); at != std::string::npos; at = text.find("\nSubject:", at + 1))
        subjects.push_back(SubjectLine(text, at + 1));
    return subjects;
}

FoundMessage PffMessage(const fs::path& dir, const std::string& folder)
{
    FoundMessage message;
    message.folder = folder;
    message.subject = SubjectLine(ReadText(dir / "OutlookHeaders.txt"));
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) message.text += ReadText(entry.path());
    const fs::path attachments = dir / "Attachments";
    if (!fs::is_directory(attachments)) return message;
    for (const auto& entry : fs::directory_iterator(attachments)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file()) {
            const size_t cut = name.find('_');
            message.attachments[cut == std::string::npos ? name : name.substr(cut + 1)] = ReadBytes(entry.path());
        } else if (entry.is_directory()) {
            for (const auto& inner : fs::directory_iterator(entry.path()))
                if (inner.is_directory() && IsNumbered(inner.path().filename().string(), "Message"))
                    message.embeddedSubjects.push_back(SubjectLine(ReadText(inner.path() / "OutlookHeaders.txt")));
        }
    }
    return message;
}

void WalkPff(const fs::path& dir, const std::string& path, Export& out)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        if (!fs::is_directory(entry)) continue;
        const std::string name = entry.filename().string();
        const std::string child = path.empty() ? name : path + "/" + name;
        if (IsNumbered(name, "Message")) {
            out.messages.push_back(PffMessage(entry, path));
        } else {
            out.folders.push_back(child);
            WalkPff(entry, child, out);
        }
    }
}

void WalkReadpst(const fs::path& dir, const std::string& path, Export& out)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    // Files "N-name" belong to message N: its attachments, or its RTF body.
    std::map<std::string, std::vector<fs::path>> extras;
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        const size_t dash = name.find('-');
        if (dash != std::string::npos && AllDigits(name.substr(0, dash)) && fs::is_regular_file(entry))
            extras[name.substr(0, dash)].push_back(entry);
    }
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        if (fs::is_directory(entry)) {
            const std::string child = path.empty() ? name : path + "/" + name;
            out.folders.push_back(child);
            WalkReadpst(entry, child, out);
            continue;
        }
        if (!AllDigits(name)) continue;
        FoundMessage message;
        message.folder = path;
        message.text = ReadText(entry);
        message.subject = SubjectLine(message.text);
        const std::vector<std::string> subjects = AllSubjectLines(message.text);
        if (subjects.size() > 1) message.embeddedSubjects.assign(subjects.begin() + 1, subjects.end());
        for (const fs::path& other : extras[name]) {
            const std::string attachment = other.filename().string().substr(name.size() + 1);
            if (attachment == "rtf-body.rtf")
                message.text += ReadText(other);
            else
                message.attachments[attachment] = ReadBytes(other);
        }
        out.messages.push_back(std::move(message));
    }
}

} // namespace

WrittenStore ReadWrittenStore(const std::string& path)
{
    WrittenStore store;
    const MappedFile file(path);
    store.check = CheckNdbStore(file.Bytes());
    store.layout = store.check.walk.layout;
    return store;
}

ReadPcResult WrittenStore::Pc(uint32_t nid) const
{
    const auto it = check.nodes.find(nid);
    if (it == check.nodes.end()) {
        ReadPcResult none;
        none.problems.push_back("no node " + std::to_string(nid));
        return none;
    }
    return ReadPc(it->second, layout);
}

ReadTcResult WrittenStore::Tc(uint32_t nid) const
{
    const auto it = check.nodes.find(nid);
    if (it == check.nodes.end()) {
        ReadTcResult none;
        none.problems.push_back("no node " + std::to_string(nid));
        return none;
    }
    ReadTcResult tc = ReadTc(it->second, layout);
    tc.node = &it->second;
    return tc;
}

std::string CellText(const std::vector<uint8_t>& bytes, uint32_t tag)
{
    const auto text = pst::TextOf(pst::PropertyValue{tag, bytes});
    return text ? Utf16ToUtf8(*text) : std::string();
}

std::string TextValue(const ReadProperty& property) { return CellText(property.value, property.type); }

uint32_t Int32Value(const ReadProperty& property)
{
    return property.value.size() >= 4 ? pstformat::LoadLe<uint32_t>(property.value.data()) : 0;
}

std::u16string U16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

pst::PropertyValue Text(uint16_t id, std::string_view ascii, pstformat::Layout layout)
{
    return pst::MakeLayoutString(id, U16(ascii), layout);
}

std::vector<uint8_t> CompressRtf(std::string_view rtf)
{
    constexpr size_t kDictionarySize = 4096;
    constexpr size_t kPrefixLength = 207; // the dictionary starts filled with a fixed RTF prefix
    std::vector<uint8_t> data;
    size_t write = kPrefixLength;
    size_t next = 0;
    for (bool ended = false; !ended;) {
        const size_t control = data.size();
        data.push_back(0);
        for (int token = 0; token < 8; ++token) {
            if (next < rtf.size()) {
                data.push_back(static_cast<uint8_t>(rtf[next++]));
                write = (write + 1) % kDictionarySize;
                continue;
            }
            // The end: a reference to where the next byte would be written.
            data[control] = static_cast<uint8_t>(data[control] | (1 << token));
            const auto reference = static_cast<uint16_t>(write << 4);
            data.push_back(static_cast<uint8_t>(reference >> 8));
            data.push_back(static_cast<uint8_t>(reference & 0xFF));
            ended = true;
            break;
        }
    }
    std::vector<uint8_t> out(16);
    pstformat::StoreLe<uint32_t>(out.data(), static_cast<uint32_t>(data.size() + 12));
    pstformat::StoreLe<uint32_t>(out.data() + 4, static_cast<uint32_t>(rtf.size()));
    pstformat::StoreLe<uint32_t>(out.data() + 8, 0x75465A4C); // "LZFu"
    pstformat::StoreLe<uint32_t>(out.data() + 12, pstformat::ComputeCrc(0, data.data(), data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> Bytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

ToolRun RunTool(const std::string& command)
{
    ToolRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool HaveTool(const std::string& name) { return RunTool("command -v " + name).exitCode == 0; }

std::string Quoted(const fs::path& path)
{
    std::string quoted = "'";
    for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> PstcheckPath()
{
    const fs::path path = fs::path(KRV_BIN_DIR) / "krv-pstcheck";
    if (!fs::exists(path)) return std::nullopt;
    return path.string();
}

Export ExportWithPffexport(const std::string& store, const fs::path& dir)
{
    Export out;
    const fs::path target = dir / "pff";
    out.exitCode = RunTool("pffexport -q -m all -f all -t " + Quoted(target) + " " + Quoted(store)).exitCode;
    const fs::path root = dir / "pff.export";
    if (fs::is_directory(root)) WalkPff(root, "", out);
    return out;
}

Export ExportWithReadpst(const std::string& store, const fs::path& dir)
{
    Export out;
    const fs::path root = dir / "readpst";
    fs::create_directories(root);
    out.exitCode = RunTool("readpst -q -D -S -j 0 -o " + Quoted(root) + " " + Quoted(store)).exitCode;
    WalkReadpst(root, "", out);
    return out;
}

} // namespace krv::test
