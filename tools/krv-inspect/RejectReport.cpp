// RejectReport.cpp: the item sweep of krv-inspect rejects and its text and JSON forms.
#include "tools/krv-inspect/RejectReport.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstReader.h"
#include "platform/mapi/MapiAllocator.h"
#include "pstformat/HexText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace krv::inspect {
namespace {

// The node's heap as the passes read it, then each loaded subnode the same way.
void SweepNode(const PstNode& node, RejectReport& report)
{
    ++report.nodes;
    switch (GetHeapKind(node)) {
    case HeapKind::PropertyContext: {
        ++report.propertyContexts;
        ULONG count = 0;
        LPSPropValue props = nullptr;
        if (GetAllProps(node, count, props) && props != nullptr) MAPIFreeBuffer(props);
        break;
    }
    case HeapKind::TableContext: {
        ++report.tableContexts;
        TableColumns columns;
        TableRows rows;
        if (ReadTable(node, columns, rows)) FreeRows(rows);
        break;
    }
    case HeapKind::Other:
        break;
    }
    node.subnodes.ForEach([&](uint32_t, const PstNodeMap::Versions& versions) {
        if (!versions.empty() && versions.back()) SweepNode(*versions.back(), report);
    });
}

struct Counted {
    RejectReason reason;
    uint64_t count;
};

std::vector<Counted> CountedReasons(const RejectCounts& counts)
{
    std::vector<Counted> counted;
    for (size_t i = 0; i < kRejectReasonCount; ++i) {
        const auto reason = static_cast<RejectReason>(i);
        if (counts.Count(reason) != 0) counted.push_back({reason, counts.Count(reason)});
    }
    std::stable_sort(counted.begin(), counted.end(),
                     [](const Counted& a, const Counted& b) { return a.count > b.count; });
    return counted;
}

} // namespace

void SweepItems(PstReader& reader, RejectReport& report)
{
    // In ascending NID order, so that the first offsets are the same from run to run.
    std::vector<uint32_t> nids;
    reader.Nodes().ForEach([&nids](uint32_t nid, const PstNodeMap::Versions&) { nids.push_back(nid); });
    std::sort(nids.begin(), nids.end());
    for (const uint32_t nid : nids) {
        PstNode* node = reader.Nodes().FindCurrent(nid);
        if (node == nullptr) continue;
        Load(*node, pstformat::BlockEncoding::Unknown);
        SweepNode(*node, report);
        // What one node loaded is not needed for the next: a large store stays small.
        node->subnodes.Clear();
    }
    report.counts = reader.Rejects();
}

std::string ToText(const RejectReport& report)
{
    const std::vector<Counted> counted = CountedReasons(report.counts);
    char line[256];
    std::snprintf(
        line, sizeof line, "rejects: %llu (%zu reasons) in %llu nodes, %llu property contexts, %llu table contexts\n",
        static_cast<unsigned long long>(report.counts.Total()), counted.size(),
        static_cast<unsigned long long>(report.nodes), static_cast<unsigned long long>(report.propertyContexts),
        static_cast<unsigned long long>(report.tableContexts));
    std::string text = line;
    size_t width = 0;
    for (const Counted& c : counted) width = std::max(width, RejectReasonName(c.reason).size());
    for (const Counted& c : counted) {
        const std::string_view name = RejectReasonName(c.reason);
        text += name;
        text.append(width - name.size() + 2, ' ');
        text += std::to_string(c.count);
        const uint64_t first = report.counts.FirstOffset(c.reason);
        if (first != kNoRejectOffset) {
            text += "  first at ";
            text += pstformat::Hex(first);
        }
        text += '\n';
    }
    return text;
}

std::string ToJson(const RejectReport& report)
{
    std::string json = "{\"layout\": \"";
    json += report.layout;
    json += '"';
    const auto add = [&json](std::string_view key, std::string_view value) {
        json += ", \"";
        json += key;
        json += "\": ";
        json += value;
    };
    add("nodes", std::to_string(report.nodes));
    add("property_contexts", std::to_string(report.propertyContexts));
    add("table_contexts", std::to_string(report.tableContexts));
    add("total", std::to_string(report.counts.Total()));
    for (size_t i = 0; i < kRejectReasonCount; ++i) {
        const auto reason = static_cast<RejectReason>(i);
        std::string name(RejectReasonName(reason));
        add(name, std::to_string(report.counts.Count(reason)));
        const uint64_t first = report.counts.FirstOffset(reason);
        if (first == kNoRejectOffset) continue;
        name += "_at";
        std::string offset = "\"";
        offset += pstformat::Hex(first);
        offset += '"';
        add(name, offset);
    }
    return json + "}";
}

} // namespace krv::inspect
