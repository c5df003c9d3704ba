// JsonSummary.cpp: the object, member by member in a fixed order.
#include "cli/JsonSummary.h"

#include "engine/job/RepairEntry.h"
#include "platform/os/JsonText.h"

#include <cstdio>

namespace krv::cli {
namespace {

const char* FormatName(uint32_t format)
{
    // The engine takes every value other than auto and unicode as ansi.
    if (format == PstFormatUnicode4k) return "unicode4k";
    return format == PstFormatAuto ? "auto" : format == PstFormatUnicode ? "unicode" : "ansi";
}

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string StringArray(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += ',';
        out += JsonQuote(texts[i]);
    }
    out += ']';
    return out;
}

std::string OptionsJson(uint32_t flags, uint32_t sizeLimit)
{
    const bool split = flags & FlagSplitOversizePST;
    std::string methods = "[";
    const uint32_t levels[] = {FlagLevel1Recovery, FlagLevel2Recovery, FlagLevel3Recovery, FlagLevel4Recovery,
                               FlagLevel5Recovery};
    bool first = true;
    for (int i = 0; i < 5; ++i) {
        if (!(flags & levels[i])) continue;
        if (!first) methods += ',';
        methods += std::to_string(i + 1);
        first = false;
    }
    methods += "]";
    char flagText[16];
    std::snprintf(flagText, sizeof flagText, "0x%08x", flags);
    return std::string("{") + "\"fast_scan\":" + Bool(flags & FlagFastRecovery) +
           ",\"heuristic_root\":" + Bool(flags & FlagHeuristicRecoverRoot) +
           ",\"unattached_attachments\":" + Bool(flags & FlagRecoverUnattchedAttach) +
           ",\"split_mb\":" + (split ? std::to_string(sizeLimit) : "null") +
           ",\"ignore_zero_blocks\":" + Bool(flags & FlagIgnoreZeroBlock) +
           ",\"ipm_subtree\":" + Bool(flags & FlagAlwaysIPMSubtree) +
           ",\"offline\":" + Bool(flags & FlagOfflineFolderFile) +
           ",\"remove_empty_folders\":" + Bool(flags & FlagRemoveEmptyFolder) + ",\"methods\":" + methods +
           ",\"source_format\":\"" + FormatName((flags & FlagSourceFormatMask) >> KRV_SOURCE_FORMAT_SHIFT) + "\"" +
           ",\"format\":\"" + FormatName((flags & FlagOutputFormatMask) >> KRV_OUTPUT_FORMAT_SHIFT) + "\"" +
           ",\"flags\":\"" + flagText + "\",\"size_limit_mb\":" + std::to_string(sizeLimit) + "}";
}

} // namespace

std::string SummaryJson(const RepairSummary& s)
{
    std::string outputs = "[";
    for (size_t i = 0; i < s.outputs.size(); ++i) {
        if (i > 0) outputs += ',';
        outputs += "{\"path\":";
        outputs += JsonQuote(s.outputs[i].path);
        outputs += ",\"bytes\":";
        outputs += std::to_string(s.outputs[i].bytes);
        outputs += '}';
    }
    outputs += ']';
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", s.seconds);
    std::string json = "{\"source\":";
    json += JsonQuote(s.source);
    return json + ",\"output\":" + JsonQuote(s.output) + ",\"outputs\":" + outputs +
           ",\"layout\":" + (s.layout ? JsonQuote(*s.layout) : std::string("null")) +
           ",\"items\":" + std::to_string(s.items) + ",\"folders\":" + std::to_string(s.folders) +
           ",\"messages\":" + std::to_string(s.messages) +
           ",\"wrapped_attachments\":" + std::to_string(s.wrappedAttachments) + ",\"errors\":" + StringArray(s.errors) +
           ",\"alerts\":" + StringArray(s.alerts) + ",\"stopped\":" + Bool(s.stopped) +
           ",\"exit_code\":" + std::to_string(static_cast<int>(s.exit)) + ",\"seconds\":" + seconds +
           ",\"options\":" + OptionsJson(s.flags, s.sizeLimit) + "}";
}

} // namespace krv::cli
