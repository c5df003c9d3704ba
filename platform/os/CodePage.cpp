// CodePage.cpp: code-page conversions through per-thread iconv descriptors.
#include "platform/os/CodePage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <iconv.h>
#include <vector>

namespace krv {
namespace {

struct CodePageName {
    uint32_t codePage;
    const char* iconvName;
};

// Windows numbers of the single-byte code pages and glibc's names for them.
constexpr std::array kSingleByteCodePages = {
    CodePageName{437, "CP437"},         CodePageName{737, "CP737"},         CodePageName{775, "CP775"},
    CodePageName{850, "CP850"},         CodePageName{852, "CP852"},         CodePageName{855, "CP855"},
    CodePageName{857, "CP857"},         CodePageName{860, "CP860"},         CodePageName{861, "CP861"},
    CodePageName{862, "CP862"},         CodePageName{863, "CP863"},         CodePageName{865, "CP865"},
    CodePageName{866, "CP866"},         CodePageName{869, "CP869"},         CodePageName{874, "CP874"},
    CodePageName{1250, "CP1250"},       CodePageName{1251, "CP1251"},       CodePageName{1252, "CP1252"},
    CodePageName{1253, "CP1253"},       CodePageName{1254, "CP1254"},       CodePageName{1255, "CP1255"},
    CodePageName{1256, "CP1256"},       CodePageName{1257, "CP1257"},       CodePageName{1258, "CP1258"},
    CodePageName{10000, "MACINTOSH"},   CodePageName{20866, "KOI8-R"},      CodePageName{21866, "KOI8-U"},
    CodePageName{28591, "ISO-8859-1"},  CodePageName{28592, "ISO-8859-2"},  CodePageName{28593, "ISO-8859-3"},
    CodePageName{28594, "ISO-8859-4"},  CodePageName{28595, "ISO-8859-5"},  CodePageName{28596, "ISO-8859-6"},
    CodePageName{28597, "ISO-8859-7"},  CodePageName{28598, "ISO-8859-8"},  CodePageName{28599, "ISO-8859-9"},
    CodePageName{28603, "ISO-8859-13"}, CodePageName{28605, "ISO-8859-15"},
};

// Code pages of more than one byte per character that mail messages name for their text
// (the East Asian pages, UTF-8, the 7-bit and EUC forms of Internet mail). They are never
// the configured code page, whose text the writer sizes one byte per character.
constexpr std::array kMultiByteCodePages = {
    CodePageName{932, "CP932"},         CodePageName{936, "CP936"},         CodePageName{949, "CP949"},
    CodePageName{950, "CP950"},         CodePageName{20127, "ASCII"},       CodePageName{20932, "EUC-JP"},
    CodePageName{20936, "GB2312"},      CodePageName{50220, "ISO-2022-JP"}, CodePageName{50221, "ISO-2022-JP"},
    CodePageName{50222, "ISO-2022-JP"}, CodePageName{50225, "ISO-2022-KR"}, CodePageName{51932, "EUC-JP"},
    CodePageName{51936, "GB2312"},      CodePageName{51949, "EUC-KR"},      CodePageName{54936, "GB18030"},
    CodePageName{65001, "UTF-8"},
};

constexpr char16_t kReplacementChar = u'\uFFFD';
constexpr char kUnmappableByte = '?';

const char* SingleByteName(uint32_t codePage)
{
    for (const CodePageName& entry : kSingleByteCodePages) {
        if (entry.codePage == codePage) return entry.iconvName;
    }
    return nullptr;
}

const char* IconvName(uint32_t codePage)
{
    if (const char* name = SingleByteName(codePage)) return name;
    for (const CodePageName& entry : kMultiByteCodePages) {
        if (entry.codePage == codePage) return entry.iconvName;
    }
    return nullptr;
}

uint32_t Supported(uint32_t codePage) { return IsConvertibleCodePage(codePage) ? codePage : kDefaultCodePage; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// This thread's open descriptors, one per code page and direction. The handful of code
// pages a process uses keeps the list short; it is closed when the thread ends.
class DescriptorCache {
public:
    DescriptorCache() = default;
    DescriptorCache(const DescriptorCache&) = delete;
    DescriptorCache& operator=(const DescriptorCache&) = delete;
    ~DescriptorCache()
    {
        for (const Entry& entry : entries_) {
            if (entry.cd != kNoDescriptor) iconv_close(entry.cd);
        }
    }

    // The descriptor for this code page and direction, reset to its initial state; none
    // when iconv cannot open it (a system without the conversion modules).
    iconv_t Get(uint32_t codePage, bool toUtf16)
    {
        for (const Entry& entry : entries_) {
            if (entry.codePage == codePage && entry.toUtf16 == toUtf16) return Reset(entry.cd);
        }
        const char* name = IconvName(codePage);
        iconv_t cd =
            name == nullptr ? kNoDescriptor : (toUtf16 ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE"));
        // A failed open is remembered too, so it is not retried for every string.
        entries_.push_back(Entry{codePage, toUtf16, cd});
        return Reset(cd);
    }

private:
    struct Entry {
        uint32_t codePage;
        bool toUtf16;
        iconv_t cd;
    };

    static iconv_t Reset(iconv_t cd)
    {
        if (cd != kNoDescriptor) iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

    std::vector<Entry> entries_;
};

iconv_t Descriptor(uint32_t codePage, bool toUtf16)
{
    thread_local DescriptorCache cache;
    return cache.Get(codePage, toUtf16);
}

// Output of iconv into a growing byte buffer.
class OutputBuffer {
public:
    explicit OutputBuffer(size_t expected) : bytes_(expected + 16) {}

    char* Cursor() { return bytes_.data() + used_; }
    size_t Room() const { return bytes_.size() - used_; }
    void Advance(size_t count) { used_ += count; }
    void Grow() { bytes_.resize(bytes_.size() * 2); }
    void Append(const char* data, size_t count)
    {
        while (Room() < count) Grow();
        for (size_t i = 0; i < count; ++i) bytes_[used_ + i] = data[i];
        used_ += count;
    }
    const char* Data() const { return bytes_.data(); }
    size_t Size() const { return used_; }

private:
    std::vector<char> bytes_;
    size_t used_ = 0;
};

// Runs cd over the input, a chunk at a time: glibc redoes the work of a whole call when it
// stops at a rejected character, so text full of unmappable characters would cost time
// quadratic in its length if it were passed in one piece. chunkEnd(position) says where
// the chunk starting there ends. A character that a chunk end cuts in two (only possible
// in a multi-byte code page) begins the next chunk rather than being replaced; at a unit
// iconv rejects, skip(position) says how many input bytes to pass over, and the
// replacement is written instead. Ends with the flush that stateful code pages (1255,
// 1258, the ISO-2022 forms) need to release a held character. Answers the number of
// replacements written.
template <class ChunkEndFn, class SkipFn>
size_t Convert(iconv_t cd, const char* input, size_t size, OutputBuffer& out, std::string_view replacement,
               ChunkEndFn chunkEnd, SkipFn skip)
{
    size_t replaced = 0;
    size_t position = 0;
    while (position < size) {
        const size_t end = chunkEnd(position);
        char* in = const_cast<char*>(input + position); // iconv's signature; it does not write
        size_t inLeft = end - position;
        while (inLeft > 0) {
            char* outPtr = out.Cursor();
            size_t outLeft = out.Room();
            size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
            out.Advance(out.Room() - outLeft);
            if (rc != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                out.Grow();
                continue;
            }
            const bool cutByChunk = errno == EINVAL && end < size && in != input + position;
            if (cutByChunk) break; // the next chunk starts with the cut character
            // EILSEQ (no such character) or EINVAL (cut short at the end): replace, go on.
            size_t count = skip(static_cast<size_t>(in - input));
            if (count > inLeft) count = inLeft;
            in += count;
            inLeft -= count;
            out.Append(replacement.data(), replacement.size());
            ++replaced;
        }
        position = static_cast<size_t>(in - input);
    }
    for (;;) {
        char* outPtr = out.Cursor();
        size_t outLeft = out.Room();
        size_t rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.Advance(out.Room() - outLeft);
        if (rc != static_cast<size_t>(-1) || errno != E2BIG) break;
        out.Grow();
    }
    return replaced;
}

constexpr size_t kChunkUnits = 64;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, uint32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

} // namespace

bool IsSupportedCodePage(uint32_t codePage) { return SingleByteName(codePage) != nullptr; }

bool IsConvertibleCodePage(uint32_t codePage) { return IconvName(codePage) != nullptr; }

std::optional<uint32_t> ParseCodePageName(std::string_view name)
{
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) name.remove_prefix(1);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.remove_suffix(1);
    if (StartsWithNoCase(name, "windows-")) {
        name.remove_prefix(8);
    } else if (StartsWithNoCase(name, "cp")) {
        name.remove_prefix(2);
    }
    uint32_t number = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (name.empty() || ec != std::errc() || end != name.data() + name.size()) return std::nullopt;
    if (!IsSupportedCodePage(number)) return std::nullopt;
    return number;
}

CodePageSetting ReadCodePageSetting()
{
    CodePageSetting setting;
    const char* value = std::getenv("KRV_CODEPAGE");
    if (value == nullptr || *value == '\0') return setting;
    setting.fromEnvironment = true;
    setting.requested = value;
    std::optional<uint32_t> parsed = ParseCodePageName(setting.requested);
    setting.recognised = parsed.has_value();
    if (parsed) setting.codePage = *parsed;
    return setting;
}

uint32_t AnsiCodePage() { return ReadCodePageSetting().codePage; }

std::u16string AnsiToUtf16(std::string_view text) { return AnsiToUtf16(text, AnsiCodePage()); }

namespace {

// The text as UTF-16 and the number of bytes that were no character of the code page.
std::u16string DecodeCounting(std::string_view text, uint32_t codePage, size_t& replaced)
{
    replaced = 0;
    std::u16string result;
    if (text.empty()) return result;
    iconv_t cd = Descriptor(Supported(codePage), true);
    if (cd == kNoDescriptor) {
        // Without the conversion module only ASCII is certain.
        result.reserve(text.size());
        for (char c : text) {
            auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) ++replaced;
            result.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : kReplacementChar);
        }
        return result;
    }
    OutputBuffer out(text.size() * 2);
    static constexpr char kReplacementLE[] = {'\xFD', '\xFF'};
    const size_t size = text.size();
    auto chunkEnd = [size](size_t position) { return std::min(size, position + kChunkUnits); };
    replaced = Convert(cd, text.data(), size, out, std::string_view(kReplacementLE, 2), chunkEnd,
                       [](size_t) -> size_t { return 1; });
    result.reserve(out.Size() / 2);
    const auto* bytes = reinterpret_cast<const unsigned char*>(out.Data());
    for (size_t i = 0; i + 1 < out.Size(); i += 2) {
        result.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return result;
}

} // namespace

std::u16string AnsiToUtf16(std::string_view text, uint32_t codePage)
{
    size_t replaced = 0;
    return DecodeCounting(text, codePage, replaced);
}

std::optional<std::u16string> DecodeExactly(std::string_view text, uint32_t codePage)
{
    if (!IsConvertibleCodePage(codePage)) return std::nullopt;
    size_t replaced = 0;
    std::u16string result = DecodeCounting(text, codePage, replaced);
    if (replaced != 0) return std::nullopt;
    return result;
}

std::string Utf16ToAnsi(std::u16string_view text) { return Utf16ToAnsi(text, AnsiCodePage()); }

std::string Utf16ToAnsi(std::u16string_view text, uint32_t codePage)
{
    std::string result;
    if (text.empty()) return result;
    iconv_t cd = Descriptor(Supported(codePage), false);
    if (cd == kNoDescriptor) {
        result.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            char16_t unit = text[i];
            if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
            result.push_back(unit < 0x80 ? static_cast<char>(unit) : kUnmappableByte);
        }
        return result;
    }
    std::vector<char> input(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        input[2 * i] = static_cast<char>(text[i] & 0xFF);
        input[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    OutputBuffer out(text.size());
    // A rejected character is one '?', whether it is one unit or a surrogate pair.
    auto skip = [text](size_t bytePos) -> size_t {
        size_t unit = bytePos / 2;
        if (unit + 1 < text.size() && IsHighSurrogate(text[unit]) && IsLowSurrogate(text[unit + 1])) return 4;
        return 2;
    };
    // A chunk never ends between the two halves of a surrogate pair.
    auto chunkEnd = [text](size_t bytePos) -> size_t {
        size_t end = std::min(text.size(), bytePos / 2 + kChunkUnits);
        if (end < text.size() && IsHighSurrogate(text[end - 1])) ++end;
        return end * 2;
    };
    Convert(cd, input.data(), input.size(), out, std::string_view(&kUnmappableByte, 1), chunkEnd, skip);
    result.assign(out.Data(), out.Size());
    return result;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            uint32_t cp = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            AppendUtf8(out, cp);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, kReplacementChar);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t cp = 0;
        // The first continuation byte's range excludes overlong forms, surrogates and
        // values above U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            out.push_back(kReplacementChar);
            ++i;
            continue;
        }
        // Consume the longest valid prefix; a malformed sequence gives one U+FFFD.
        size_t taken = 1;
        bool complete = true;
        for (; taken < length; ++taken) {
            if (i + taken >= text.size()) {
                complete = false;
                break;
            }
            auto byte = static_cast<unsigned char>(text[i + taken]);
            if (byte < (taken == 1 ? low : 0x80) || byte > (taken == 1 ? high : 0xBF)) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (byte & 0x3F);
        }
        if (complete) {
            AppendUtf16(out, cp);
        } else {
            out.push_back(kReplacementChar);
        }
        i += taken;
    }
    return out;
}

std::string ValidUtf8(std::string_view text)
{
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return std::string(text);
    return Utf16ToUtf8(Utf8ToUtf16(text));
}

} // namespace krv
