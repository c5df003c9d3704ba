// ProfileRecord.cpp: the text form of a profile, written and parsed.
#include "platform/mapi/session/ProfileRecord.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace krv::mapi {
namespace {

constexpr std::string_view kHeader = "corvessa-profile 1";
constexpr char kHex[] = "0123456789abcdef";

// Every string is written as '=' and its bytes, those outside the printable ASCII range
// (and '%' itself) as %XX, so an empty string still makes a field and no byte can end
// a field or a line.
void AppendString(std::string& out, std::string_view text)
{
    out += ' ';
    out += '=';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
}

void AppendNumber(std::string& out, uint64_t value)
{
    out += ' ';
    out += std::to_string(value);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The blank-separated fields of one line.
std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t end = std::min(line.find(' ', pos), line.size());
        fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

std::optional<std::string> ParseString(std::string_view field)
{
    if (field.empty() || field[0] != '=') return std::nullopt;
    std::string text;
    for (size_t i = 1; i < field.size(); ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte != '%') {
            // Only the writer's own form is read: every other byte arrives escaped.
            if (byte <= 0x20 || byte >= 0x7F) return std::nullopt;
            text += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const int high = HexDigit(field[i + 1]);
        const int low = HexDigit(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return text;
}

template <class T>
std::optional<T> ParseNumber(std::string_view field)
{
    T value{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size()) return std::nullopt;
    return value;
}

std::optional<bool> ParseFlag(std::string_view field)
{
    if (field == "0") return false;
    if (field == "1") return true;
    return std::nullopt;
}

std::optional<ServiceUid> ParseUid(std::string_view field)
{
    ServiceUid uid{};
    if (field.size() != uid.size() * 2) return std::nullopt;
    for (size_t i = 0; i < uid.size(); ++i) {
        const int high = HexDigit(field[2 * i]);
        const int low = HexDigit(field[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        uid[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return uid;
}

std::optional<ServiceRecord> ParseService(const std::vector<std::string_view>& f)
{
    if (f.size() != 9) return std::nullopt;
    ServiceRecord service;
    const auto uid = ParseUid(f[1]);
    auto provider = ParseString(f[2]);
    auto displayName = ParseString(f[3]);
    const auto configured = ParseFlag(f[4]);
    const auto unicode = ParseFlag(f[5]);
    const auto encryption = ParseNumber<ULONG>(f[6]);
    auto storePath = ParseString(f[7]);
    auto storeName = ParseString(f[8]);
    if (!uid || !provider || !displayName || !configured || !unicode || !encryption || !storePath || !storeName)
        return std::nullopt;
    service.uid = *uid;
    service.provider = std::move(*provider);
    service.displayName = std::move(*displayName);
    service.configured = *configured;
    service.unicode = *unicode;
    service.encryption = *encryption;
    service.storePath = std::move(*storePath);
    service.storeName = std::move(*storeName);
    return service;
}

} // namespace

ServiceRecord* ProfileRecord::FindService(const ServiceUid& uid)
{
    for (auto& service : services) {
        if (service.uid == uid) return &service;
    }
    return nullptr;
}

const ServiceRecord* ProfileRecord::FindService(const ServiceUid& uid) const
{
    return const_cast<ProfileRecord*>(this)->FindService(uid);
}

std::string SerializeProfile(const ProfileRecord& profile)
{
    std::string out(kHeader);
    out += "\nname";
    AppendString(out, profile.name);
    out += "\nowner";
    AppendNumber(out, static_cast<uint64_t>(profile.owner.pid));
    AppendNumber(out, profile.owner.startTime);
    AppendString(out, profile.owner.bootId);
    for (const auto& service : profile.services) {
        out += "\nservice ";
        for (const uint8_t byte : service.uid) {
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
        AppendString(out, service.provider);
        AppendString(out, service.displayName);
        AppendNumber(out, service.configured ? 1 : 0);
        AppendNumber(out, service.unicode ? 1 : 0);
        AppendNumber(out, service.encryption);
        AppendString(out, service.storePath);
        AppendString(out, service.storeName);
    }
    out += "\nend\n";
    return out;
}

std::optional<ProfileRecord> ParseProfile(std::string_view text)
{
    if (text.size() > kMaxProfileFileBytes) return std::nullopt;
    ProfileRecord profile;
    bool haveName = false;
    bool haveOwner = false;
    bool ended = false;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t newline = text.find('\n', pos);
        // Every line, the last included, ends with a line break: a file cut short in the
        // middle of a line is caught here even when the cut left a plausible field.
        if (newline == std::string_view::npos) return std::nullopt;
        const std::string_view line = text.substr(pos, newline - pos);
        pos = newline + 1;
        if (ended) return std::nullopt; // nothing may follow "end"
        const auto f = Fields(line);
        if (lineNumber++ == 0) {
            if (line != kHeader) return std::nullopt;
            continue;
        }
        if (f.empty()) return std::nullopt;
        if (f[0] == "name" && f.size() == 2 && !haveName) {
            auto name = ParseString(f[1]);
            if (!name || name->empty()) return std::nullopt;
            profile.name = std::move(*name);
            haveName = true;
        } else if (f[0] == "owner" && f.size() == 4 && !haveOwner) {
            const auto pid = ParseNumber<int64_t>(f[1]);
            const auto startTime = ParseNumber<uint64_t>(f[2]);
            auto bootId = ParseString(f[3]);
            if (!pid || !startTime || !bootId) return std::nullopt;
            profile.owner = ProcessIdentity{*pid, *startTime, std::move(*bootId)};
            haveOwner = true;
        } else if (f[0] == "service" && haveName && haveOwner) {
            auto service = ParseService(f);
            if (!service || profile.FindService(service->uid) != nullptr) return std::nullopt;
            profile.services.push_back(std::move(*service));
        } else if (f[0] == "end" && f.size() == 1) {
            ended = true;
        } else {
            return std::nullopt;
        }
    }
    if (!ended || !haveName || !haveOwner) return std::nullopt;
    return profile;
}

} // namespace krv::mapi
