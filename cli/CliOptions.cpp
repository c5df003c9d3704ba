// CliOptions.cpp: options anywhere before "--", "--name value" or "--name=value", short
// flags bundled ("-fq"); every mistake is one line and exit status 2.
#include "cli/CliOptions.h"

#include "cli/CliText.h"
#include "cli/OutputName.h"
#include "engine/job/RepairEntry.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace krv::cli {
namespace {

constexpr uint32_t kLevelFlags[] = {FlagLevel1Recovery, FlagLevel2Recovery, FlagLevel3Recovery, FlagLevel4Recovery,
                                    FlagLevel5Recovery};
constexpr uint32_t kAllLevels =
    FlagLevel1Recovery | FlagLevel2Recovery | FlagLevel3Recovery | FlagLevel4Recovery | FlagLevel5Recovery;
constexpr uint32_t kMaxSizeLimit = 32767;

// An option that switches one bit of RepairFlags on or off.
struct FlagOption {
    const char* name;
    uint32_t bit;
    bool set;
};

constexpr FlagOption kFlagOptions[] = {
    {"--full-scan", FlagFastRecovery, false},
    {"--heuristic-root", FlagHeuristicRecoverRoot, true},
    {"--no-unattached", FlagRecoverUnattchedAttach, false},
    {"--keep-zero-blocks", FlagIgnoreZeroBlock, false},
    {"--no-ipm-subtree", FlagAlwaysIPMSubtree, false},
    {"--offline", FlagOfflineFolderFile, true},
    {"--remove-empty-folders", FlagRemoveEmptyFolder, true},
};

// Options that take a value.
constexpr const char* kValueOptions[] = {"--split",  "--methods",    "--source-format",
                                         "--format", "--output-dir", "--log"};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<uint32_t> ParseSizeLimit(const std::string& text)
{
    const bool digits = std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    if (text.empty() || text.size() > 9 || !digits) return std::nullopt;
    const uint32_t value = static_cast<uint32_t>(std::stoul(text));
    if (value < 1 || value > kMaxSizeLimit) return std::nullopt;
    return value;
}

// "1,3,5" -> the method bits; "none" -> 0.
std::optional<uint32_t> ParseMethods(const std::string& text)
{
    if (Lower(text) == "none") return 0u;
    uint32_t bits = 0;
    std::string::size_type start = 0;
    while (true) {
        const std::string::size_type comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() != 1 || item[0] < '1' || item[0] > '5') return std::nullopt;
        bits |= kLevelFlags[item[0] - '1'];
        if (comma == std::string::npos) return bits;
        start = comma + 1;
    }
}

std::optional<uint32_t> ParseFormat(const std::string& text)
{
    const std::string name = Lower(text);
    if (name == "auto") return static_cast<uint32_t>(PstFormatAuto);
    if (name == "ansi") return static_cast<uint32_t>(PstFormatAnsi);
    if (name == "unicode") return static_cast<uint32_t>(PstFormatUnicode);
    return std::nullopt;
}

bool IsValueOption(const std::string& name)
{
    return std::find_if(std::begin(kValueOptions), std::end(kValueOptions), [&](const char* o) { return name == o; }) !=
           std::end(kValueOptions);
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : m_args(args) {}

    CommandLine Run()
    {
        CommandLine line;
        line.options.flags = DefaultRepairFlags();
        // --help and --version win over any mistake elsewhere on the line.
        for (const std::string& arg : m_args) {
            if (arg == "--") break;
            if (arg == "-h" || arg == "--help") return WithAction(CliAction::Help);
            if (arg == "-V" || arg == "--version") return WithAction(CliAction::Version);
        }
        std::vector<std::string> positional;
        bool optionsEnd = false;
        for (m_at = 0; m_at < m_args.size(); ++m_at) {
            const std::string& arg = m_args[m_at];
            if (optionsEnd || arg.empty() || arg[0] != '-') {
                positional.push_back(arg);
                continue;
            }
            if (arg == "--") {
                optionsEnd = true;
                continue;
            }
            if (arg == "-") return Error(FormatCliText(CliText::ErrStdinSource));
            std::string error =
                arg.compare(0, 2, "--") == 0 ? LongOption(arg, line.options) : ShortFlags(arg, line.options);
            if (!error.empty()) return Error(error);
        }
        if (m_methods) line.options.flags = (line.options.flags & ~kAllLevels) | *m_methods;
        if (m_split) {
            line.options.flags |= FlagSplitOversizePST;
            line.options.sizeLimit = *m_split;
        }
        line.options.flags |= m_sourceFormat << KRV_SOURCE_FORMAT_SHIFT;
        line.options.flags |= m_outputFormat << KRV_OUTPUT_FORMAT_SHIFT;
        if (const std::string error = Positional(positional, line.options); !error.empty()) return Error(error);
        line.action = CliAction::Repair;
        return line;
    }

private:
    CommandLine WithAction(CliAction action)
    {
        CommandLine line;
        line.action = action;
        return line;
    }

    CommandLine Error(std::string text)
    {
        CommandLine line;
        line.error = std::move(text);
        return line;
    }

    std::string LongOption(const std::string& arg, CliOptions& options)
    {
        const std::string::size_type eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        for (const FlagOption& f : kFlagOptions) {
            if (name != f.name) continue;
            if (eq != std::string::npos) return FormatCliText(CliText::ErrNoValueAllowed, name.c_str());
            options.flags = f.set ? (options.flags | f.bit) : (options.flags & ~f.bit);
            return {};
        }
        if (name == "--force" || name == "--json" || name == "--quiet" || name == "--system-report") {
            if (eq != std::string::npos) return FormatCliText(CliText::ErrNoValueAllowed, name.c_str());
            if (name == "--force") options.force = true;
            if (name == "--json") options.json = true;
            if (name == "--quiet") options.quiet = true;
            if (name == "--system-report") options.systemReport = true;
            return {};
        }
        if (!IsValueOption(name)) return FormatCliText(CliText::ErrUnknownOption, name.c_str());
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else {
            if (m_at + 1 >= m_args.size()) return FormatCliText(CliText::ErrMissingValue, name.c_str());
            value = m_args[++m_at];
        }
        if (!m_seen.insert(name).second) return FormatCliText(CliText::ErrOptionTwice, name.c_str());
        return ValueOption(name, value, options);
    }

    std::string ValueOption(const std::string& name, const std::string& value, CliOptions& options)
    {
        if (name == "--split") {
            m_split = ParseSizeLimit(value);
            return m_split ? std::string() : FormatCliText(CliText::ErrBadSplit, value.c_str());
        }
        if (name == "--methods") {
            m_methods = ParseMethods(value);
            return m_methods ? std::string() : FormatCliText(CliText::ErrBadMethods, value.c_str());
        }
        if (name == "--source-format" || name == "--format") {
            std::optional<uint32_t> format = ParseFormat(value);
            // The 4 KiB-page layout can be read, never written.
            if (!format && name == "--source-format" && Lower(value) == "unicode4k")
                format = static_cast<uint32_t>(PstFormatUnicode4k);
            if (!format)
                return FormatCliText(name == "--format" ? CliText::ErrBadFormat : CliText::ErrBadSourceFormat,
                                     name.c_str(), value.c_str());
            (name == "--format" ? m_outputFormat : m_sourceFormat) = *format;
            return {};
        }
        if (name == "--output-dir") {
            if (value.empty()) return FormatCliText(CliText::ErrEmptyDir);
            options.outputDir = value;
            return {};
        }
        options.logFile = value; // --log
        return value.empty() ? FormatCliText(CliText::ErrMissingValue, name.c_str()) : std::string();
    }

    std::string ShortFlags(const std::string& arg, CliOptions& options)
    {
        for (size_t i = 1; i < arg.size(); ++i) {
            switch (arg[i]) {
            case 'f':
                options.force = true;
                break;
            case 'q':
                options.quiet = true;
                break;
            default: {
                const char name[3] = {'-', arg[i], '\0'};
                return FormatCliText(CliText::ErrUnknownOption, name);
            }
            }
        }
        return {};
    }

    std::string Positional(std::vector<std::string>& positional, CliOptions& options)
    {
        if (positional.empty()) return FormatCliText(CliText::ErrNoSource);
        if (options.outputDir.empty()) {
            if (positional.size() > 2) return FormatCliText(CliText::ErrSeveralSources);
            if (positional.size() == 2) {
                if (positional[1].empty()) return FormatCliText(CliText::ErrEmptyOutput);
                options.output = positional[1];
                positional.pop_back();
            }
        }
        for (const std::string& source : positional)
            if (source.empty()) return FormatCliText(CliText::ErrEmptySource);
        options.sources = positional;
        if (options.systemReport && options.logFile.empty()) return FormatCliText(CliText::ErrReportNeedsLog);

        // Two sources into one output would leave only the second's repair.
        std::vector<std::string> outputs;
        for (size_t i = 0; i < options.sources.size(); ++i) {
            const std::string& source = options.sources[i];
            outputs.push_back(OutputPathFor(options, source));
            for (size_t k = 0; k < i; ++k)
                if (outputs[k] == outputs[i])
                    return FormatCliText(CliText::ErrSameOutput, options.sources[k].c_str(), source.c_str(),
                                         outputs[i].c_str());
        }
        if (!options.logFile.empty()) {
            const bool clash =
                std::find(options.sources.begin(), options.sources.end(), options.logFile) != options.sources.end() ||
                std::find(outputs.begin(), outputs.end(), options.logFile) != outputs.end();
            if (clash) return FormatCliText(CliText::ErrLogIsStore, options.logFile.c_str());
        }
        return {};
    }

    const std::vector<std::string>& m_args;
    size_t m_at = 0;
    std::set<std::string> m_seen;
    std::optional<uint32_t> m_split;
    std::optional<uint32_t> m_methods;
    uint32_t m_sourceFormat = PstFormatAuto;
    uint32_t m_outputFormat = PstFormatAuto;
};

} // namespace

uint32_t DefaultRepairFlags()
{
    return FlagFastRecovery | FlagRecoverUnattchedAttach | FlagIgnoreZeroBlock | FlagAlwaysIPMSubtree | kAllLevels;
}

std::string OutputPathFor(const CliOptions& options, const std::string& source)
{
    if (!options.output.empty()) return options.output;
    if (!options.outputDir.empty()) return OutputInDirectory(options.outputDir, source);
    return DefaultOutputName(source);
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) { return Parser(args).Run(); }

} // namespace krv::cli
