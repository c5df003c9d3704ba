// MkpstSupport.cpp: the tool run, and text in the forms the readers give it back.
#include "tests/mkpst/MkpstSupport.h"

#include "platform/os/CodePage.h"
#include "platform/storage/CompoundStorage.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestSupport.h"
#include "platform/mapi/ObjectRef.h"
#include "tools/krv-mkpst/OleObject.h"

namespace krv::test {
namespace {

namespace fs = std::filesystem;

std::string Base64Decode(std::string_view text)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = value(c);
        if (v < 0) continue; // padding
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace

std::string MkpstPath() { return (fs::path(KRV_BIN_DIR) / "krv-mkpst").string(); }

MadeStore RunMkpstWith(const std::string& prefix, const fs::path& dir, const std::string& name,
                       const std::vector<std::string>& args)
{
    MadeStore made;
    made.path = (dir / name).string();
    const std::string manifest = made.path + ".json";
    std::vector<std::string> all{made.path};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--manifest", manifest, "--quiet"});
    const mkpst::ParsedOptions parsed = mkpst::ParseMkpstOptions(all);
    if (parsed.options) made.options = *parsed.options;
    std::string command = "XDG_STATE_HOME=";
    command += Quoted(dir / "state");
    command += "; export XDG_STATE_HOME; ";
    command += prefix;
    command += " ";
    command += Quoted(MkpstPath());
    for (const std::string& a : all) {
        command += ' ';
        command += Quoted(a);
    }
    const ToolRun run = RunTool(command);
    made.exitCode = run.exitCode;
    made.output = run.output;
    if (fs::exists(manifest)) {
        const std::vector<uint8_t> bytes = ReadBytes(manifest);
        made.manifest = ParseJson(std::string(bytes.begin(), bytes.end()));
    }
    return made;
}

MadeStore RunMkpst(const fs::path& dir, const std::string& name, const std::vector<std::string>& args)
{
    return RunMkpstWith("", dir, name, args);
}

std::string AnsiForm(const std::string& utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8)); }

std::string Latin1Form(const std::string& utf8)
{
    std::string out;
    for (unsigned char c : AnsiForm(utf8)) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool ContainsEitherForm(const std::string& text, const std::string& utf8)
{
    return text.find(utf8) != std::string::npos || text.find(AnsiForm(utf8)) != std::string::npos ||
           text.find(Latin1Form(utf8)) != std::string::npos;
}

bool EqualsEitherForm(const std::string& found, const std::string& utf8)
{
    return found == utf8 || found == AnsiForm(utf8) || found == Latin1Form(utf8);
}

std::string AstralBlind(std::string_view utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xF0) {
            out += "\xEF\xBF\xBD";
            i += 4;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
    return out;
}

std::string PffSubjectForm(const std::string& utf8)
{
    std::string text = AstralBlind(utf8);
    // It takes a leading byte above 0x7F for the subject-prefix marker and drops two bytes,
    // which may leave part of a character.
    if (!text.empty() && static_cast<unsigned char>(text[0]) >= 0x80) text.erase(0, 2);
    return text;
}

std::string DecodeEncodedWords(const std::string& text)
{
    std::string out;
    size_t at = 0;
    while (true) {
        const size_t start = text.find("=?", at);
        if (start == std::string::npos) break;
        const size_t q1 = text.find('?', start + 2);
        const size_t q2 = q1 == std::string::npos ? q1 : text.find('?', q1 + 1);
        const size_t end = q2 == std::string::npos ? q2 : text.find("?=", q2 + 1);
        if (end == std::string::npos) break;
        const std::string encoding = text.substr(q1 + 1, q2 - q1 - 1);
        out.append(text, at, start - at);
        if (encoding == "B" || encoding == "b")
            out += Base64Decode(std::string_view(text).substr(q2 + 1, end - q2 - 1));
        else
            out.append(text, start, end + 2 - start);
        at = end + 2;
    }
    out.append(text, at, std::string::npos);
    return out;
}

std::optional<std::vector<uint8_t>> OleContentsOf(const std::vector<uint8_t>& compoundFile)
{
    ObjectRef<IStorage> storage;
    if (FAILED(storage::OpenStorageOnBytes(compoundFile, STGM_READ | STGM_SHARE_EXCLUSIVE, storage.Out())))
        return std::nullopt;
    ObjectRef<IStream> stream;
    if (FAILED(
            storage->OpenStream(mkpst::kOleContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out())))
        return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    for (;;) {
        ULONG read = 0;
        if (FAILED(stream->Read(buffer, sizeof buffer, &read))) return std::nullopt;
        if (read == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + read);
    }
    return bytes;
}

} // namespace krv::test
