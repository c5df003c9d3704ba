// EngineText.h: what the engine's texts say, and the same texts for a UTF-8 terminal.
//
// The engine sends 8-bit text in the configured code page (KRV_CODEPAGE, Windows-1252 by
// default), but a path it repeats inside a text is the byte string it was given, which on
// Linux is normally UTF-8. The conversion therefore keeps the known paths as they are and
// converts the rest.
//
// Which text is which comes from the engine's string table itself (the same texts by id),
// so a change of wording there cannot silently break the counting here.
#ifndef KRV_CLI_ENGINETEXT_H
#define KRV_CLI_ENGINETEXT_H

#include <string>
#include <string_view>
#include <vector>

namespace krv::cli {

enum class EngineError {
    None,
    SourceUnopenable,     // Error 1
    General,              // Error 2
    Unknown,              // Error 3
    MessagingUnavailable, // Error 4
    OutputUncreatable,    // Error 5
    OutputDiskFull,       // Error 6: the output stopped growing; what it holds stays
};

EngineError ClassifyError(std::string_view text);

enum class LogLineKind { Other, Folder, Message, WrappedAttachment };

LogLineKind ClassifyLogLine(std::string_view text);

// The text in UTF-8: the spans equal to one of `verbatim` (paths, already bytes of the
// file system) copied, everything else converted from the code page.
std::string EngineTextToUtf8(std::string_view text, const std::vector<std::string>& verbatim);

} // namespace krv::cli

#endif
