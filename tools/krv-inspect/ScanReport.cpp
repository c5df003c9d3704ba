// ScanReport.cpp: writing a scan report as JSON.
#include "tools/krv-inspect/ScanReport.h"

#include <cstdio>

namespace krv::inspect {
namespace {

class JsonObject {
public:
    void Add(const char* key, const std::string& value) { Key(key) += "\"" + value + "\""; }
    void Add(const char* key, bool value) { Key(key) += value ? "true" : "false"; }
    void Add(const char* key, uint64_t value) { Key(key) += std::to_string(value); }
    void Add(const char* key, double value, const char* format)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        Key(key) += text;
    }
    void AddNull(const char* key) { Key(key) += "null"; }
    std::string Finish() { return m_text + "}"; }

private:
    std::string& Key(const char* key)
    {
        m_text += m_text.size() == 1 ? "\"" : ", \"";
        m_text += key;
        m_text += "\": ";
        return m_text;
    }

    std::string m_text = "{";
};

} // namespace

std::string ToJson(const ScanReport& r)
{
    constexpr double kMegabyte = 1e6;
    JsonObject json;
    json.Add("layout", r.layout);
    json.Add("header_found", r.headerFound);
    json.Add("bbt_pages", r.bbtPages);
    json.Add("nbt_pages", r.nbtPages);
    json.Add("bids", r.bids);
    json.Add("block_copies", r.blockCopies);
    json.Add("nids", r.nids);
    json.Add("node_versions", r.nodeVersions);
    json.Add("top_data_blocks", r.topDataBlocks);
    json.Add("top_subnode_blocks", r.topSubnodeBlocks);
    json.Add("seconds", r.scanSeconds, "%.6f");
    if (r.scanSeconds > 0)
        json.Add("mb_per_s", static_cast<double>(r.fileBytes) / kMegabyte / r.scanSeconds, "%.3f");
    else
        json.AddNull("mb_per_s");
    json.Add("peak_rss_bytes", r.peakRssBytes);
    json.Add("file_bytes", r.fileBytes);
    json.Add("index_bytes", r.indexBytes);
    if (r.blockCopies > 0)
        json.Add("bytes_per_block_copy", static_cast<double>(r.indexBytes) / static_cast<double>(r.blockCopies),
                 "%.2f");
    else
        json.AddNull("bytes_per_block_copy");
    json.Add("scan_result", static_cast<uint64_t>(r.scanResult));
    json.Add("cpu_seconds", r.scanCpuSeconds, "%.6f");
    if (r.scanCpuSeconds > 0)
        json.Add("mb_per_cpu_s", static_cast<double>(r.fileBytes) / kMegabyte / r.scanCpuSeconds, "%.3f");
    else
        json.AddNull("mb_per_cpu_s");
    json.Add("probe_seconds", r.probeSeconds, "%.6f");
    json.Add("collect_seconds", r.collectSeconds, "%.6f");
    return json.Finish();
}

} // namespace krv::inspect
