// EngineText.cpp: matching against the engine's string table, code-page conversion.
#include "cli/EngineText.h"

#include "platform/os/CodePage.h"
#include "resources/StringTable.h"

#include <algorithm>

namespace krv::cli {
namespace {

// The fixed text in front of a table text's first placeholder (all of it when it has none).
std::string_view Prefix(StringId id)
{
    const std::string_view text = LoadString(id);
    return text.substr(0, text.find('%'));
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// A text made from a table text with one "%s": its fixed parts before and after.
bool MatchesOneArgument(std::string_view text, StringId id)
{
    const std::string_view format = LoadString(id);
    const std::string_view::size_type at = format.find("%s");
    if (at == std::string_view::npos) return text == format;
    const std::string_view before = format.substr(0, at);
    const std::string_view after = format.substr(at + 2);
    return text.size() >= before.size() + after.size() && StartsWith(text, before) &&
           text.substr(text.size() - after.size()) == after;
}

std::string CodePageToUtf8(std::string_view text) { return Utf16ToUtf8(AnsiToUtf16(text)); }

} // namespace

EngineError ClassifyError(std::string_view text)
{
    struct Known {
        StringId id;
        EngineError error;
    };
    static constexpr Known kKnown[] = {
        {StringId::TextError1, EngineError::SourceUnopenable},
        {StringId::TextError2, EngineError::General},
        {StringId::TextError3, EngineError::Unknown},
        {StringId::TextError4, EngineError::MessagingUnavailable},
        {StringId::TextError5, EngineError::OutputUncreatable},
        {StringId::TextOutputDiskFull, EngineError::OutputDiskFull},
    };
    for (const Known& k : kKnown)
        if (StartsWith(text, Prefix(k.id))) return k.error;
    return EngineError::None;
}

LogLineKind ClassifyLogLine(std::string_view text)
{
    if (MatchesOneArgument(text, StringId::TextRecoverFolder)) return LogLineKind::Folder;
    if (MatchesOneArgument(text, StringId::TextRecoverMessage)) return LogLineKind::Message;
    if (MatchesOneArgument(text, StringId::TextRecoverAttachment)) return LogLineKind::WrappedAttachment;
    return LogLineKind::Other;
}

std::string EngineTextToUtf8(std::string_view text, const std::vector<std::string>& verbatim)
{
    std::string out;
    std::string_view::size_type done = 0;
    while (done < text.size()) {
        // The earliest known path from here on; the longest one when several start there.
        std::string_view::size_type best = std::string_view::npos;
        size_t bestLength = 0;
        for (const std::string& path : verbatim) {
            if (path.empty()) continue;
            const std::string_view::size_type at = text.find(path, done);
            if (at == std::string_view::npos) continue;
            if (at < best || (at == best && path.size() > bestLength)) {
                best = at;
                bestLength = path.size();
            }
        }
        if (best == std::string_view::npos) {
            out += CodePageToUtf8(text.substr(done));
            break;
        }
        out += CodePageToUtf8(text.substr(done, best - done));
        out += ValidUtf8(text.substr(best, bestLength));
        done = best + bestLength;
    }
    return out;
}

} // namespace krv::cli
