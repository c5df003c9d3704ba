// RecoverReport.cpp: the walk and the five deeper passes, each tallied on its own.
#include "tools/krv-inspect/RecoverReport.h"

#include "engine/output/OutputStore.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/LostAndFound.h"
#include "engine/recovery/NamedPropertyMapping.h"
#include "platform/os/JsonText.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>

namespace krv::inspect {
namespace {

// The passes' context: the front end's default options, reports dropped (the tally is
// what this tool is after).
class ReportContext final : public RecoveryContext {
public:
    [[nodiscard]] const RecoveryOptions& Options() const override { return m_options; }
    void SendLogLine(const std::string&) override {}
    void SendError(const std::string& text) override { std::fprintf(stderr, "krv-inspect: %s\n", text.c_str()); }

private:
    RecoveryOptions m_options; // its construction values are the front end's defaults
};

ItemTally Difference(const ItemTally& after, const ItemTally& before)
{
    return {after.folders - before.folders, after.messages - before.messages,
            after.wrappedAttachments - before.wrappedAttachments};
}

} // namespace

RecoverReport RunRecoveryPasses(PstReader& reader, const std::string& output, bool unicodeOutput)
{
    RecoverReport report;
    report.output = output;
    OutputStore store;
    ReportContext context;
    context.OutputLayout = unicodeOutput ? 64 : 32;
    if (!store.InitializeMessaging() ||
        !store.CreateStore(output, 0x80000000, "Recovered Personal Folder", "", context.OutputLayout))
        return report;
    report.created = true;

    const std::pair<const char*, std::function<void()>> passes[] = {
        {"folder walk",
         [&] {
             BuildNamedPropMap(context, reader, store);
             MapSpecialFolders(context, reader, store);
             (void)RecoverHierarchy(context, reader, store);
         }},
        {"method 1", [&] { (void)RecoverOrphanNodes(context, reader, store); }},
        {"method 2", [&] { (void)RecoverOlderNodeVersions(context, reader, store); }},
        {"method 3", [&] { (void)RecoverOrphanSubnodeTrees(context, reader, store); }},
        {"method 4", [&] { (void)RecoverOrphanDataTrees(context, reader, store); }},
        {"method 5", [&] { (void)RecoverOlderBlockVersions(context, reader, store); }},
    };
    for (const auto& [name, run] : passes) {
        const ItemTally before = context.Tally;
        const auto start = std::chrono::steady_clock::now();
        run();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        report.passes.push_back({name, Difference(context.Tally, before), seconds});
    }
    store.Shutdown();
    return report;
}

std::string ToJson(const RecoverReport& report)
{
    char phases[128];
    std::snprintf(phases, sizeof phases, "\"probe_seconds\": %.3f, \"scan_seconds\": %.3f, ", report.probeSeconds,
                  report.scanSeconds);
    std::string json = "{\"output\": " + JsonQuote(report.output) +
                       ", \"created\": " + (report.created ? "true" : "false") + ", " + phases + "\"passes\": [";
    ItemTally total;
    for (size_t i = 0; i < report.passes.size(); ++i) {
        const PassReport& pass = report.passes[i];
        char figures[256];
        std::snprintf(
            figures, sizeof figures,
            "\"folders\": %u, \"messages\": %u, \"wrapped_attachments\": %u, \"items\": %u, \"seconds\": %.3f",
            pass.written.folders, pass.written.messages, pass.written.wrappedAttachments,
            pass.written.folders + pass.written.messages + pass.written.wrappedAttachments, pass.seconds);
        json += (i == 0 ? "" : ", ") + std::string("{\"pass\": ") + JsonQuote(pass.pass) + ", " + figures + "}";
        total.folders += pass.written.folders;
        total.messages += pass.written.messages;
        total.wrappedAttachments += pass.written.wrappedAttachments;
    }
    char totals[256];
    std::snprintf(totals, sizeof totals,
                  "\"total\": {\"folders\": %u, \"messages\": %u, \"wrapped_attachments\": %u, \"items\": %u}, "
                  "\"peak_rss_bytes\": %llu}",
                  total.folders, total.messages, total.wrappedAttachments,
                  total.folders + total.messages + total.wrappedAttachments,
                  static_cast<unsigned long long>(report.peakRssBytes));
    return json + "], " + totals;
}

} // namespace krv::inspect
