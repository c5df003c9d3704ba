// NdbWriterBench.cpp: write rate and peak memory of the node database writer at the scale
// of a large repair: many small message nodes with subnodes, plus attachments of 1 MB
// each, put one by one, flushed every few thousand messages and closed at the end.
//
// Targets: at least 100 MB/s of node data, and peak memory under 64 MB plus 512 bytes per
// message whatever the attachments weigh. The counters show the figures beside the
// targets; nothing fails on them. The store goes to $TMPDIR (or /tmp) and is removed.
#include "platform/pst/ndb/NdbWriter.h"

#include "pstformat/Ids.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace krv {
namespace {

using pstformat::Layout;

// Peak resident memory of this process in bytes (VmHWM).
double PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024;
    return 0;
}

// Lets the peak start again from the present size (Linux 4.0 and later).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::vector<uint8_t> Filler(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

// Arguments: messages, attachments of 1 MB, layout (0 ANSI, 1 Unicode).
void BM_NdbWriteStore(benchmark::State& state)
{
    const auto messages = static_cast<uint32_t>(state.range(0));
    const auto attachments = static_cast<uint32_t>(state.range(1));
    const Layout layout = state.range(2) == 0 ? Layout::Ansi : Layout::Unicode;
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/krv-bench-ndb-" + std::to_string(::getpid()) + ".pst";
    const size_t maxBlock = pstformat::TraitsOf(layout).maxBlockData;

    // A message: its property context, a recipient table and an attachment table as subnodes.
    pst::NodeContent message;
    message.blocks.push_back(Filler(3000, 1));
    message.subnodes[0x692] = pst::NodeContent{{Filler(600, 2)}, {}};
    message.subnodes[0x671] = pst::NodeContent{{Filler(200, 3)}, {}};
    // An attachment subnode whose data (1 MB) lies in a subnode of its own.
    pst::NodeContent attachment;
    attachment.blocks.push_back(Filler(400, 4));
    pst::NodeContent data;
    for (size_t done = 0; done < (1u << 20); done += maxBlock)
        data.blocks.push_back(Filler(std::min<size_t>(maxBlock, (1u << 20) - done), static_cast<uint32_t>(done)));
    attachment.subnodes[pstformat::MakeNid(pstformat::NidTypeLtp, 0x401)] = std::move(data);

    double seconds = 0;
    double bytesPut = 0;
    double peak = 0;
    uint64_t fileSize = 0;
    for (auto _ : state) {
        ::unlink(path.c_str());
        ResetPeak();
        const auto start = std::chrono::steady_clock::now();
        pst::NdbError error;
        auto writer = pst::NdbWriter::Create(path, layout, pst::CryptMethod::Permute, error);
        if (!writer) {
            state.SkipWithError(pst::NdbErrorText(error).c_str());
            return;
        }
        const uint32_t attachEvery = attachments == 0 ? 0 : std::max<uint32_t>(1, messages / attachments);
        uint32_t attached = 0;
        bytesPut = 0;
        for (uint32_t i = 0; i < messages && error.ok(); ++i) {
            const uint32_t nid = pstformat::MakeNid(pstformat::NidTypeNormalMessage, 0x10001 + i);
            if (attachEvery != 0 && i % attachEvery == 0 && attached < attachments) {
                pst::NodeContent withAttachment = message;
                withAttachment.subnodes[pstformat::MakeNid(pstformat::NidTypeAttachment, 0x401)] = attachment;
                error = writer->PutNode(nid, 0x8022, withAttachment);
                bytesPut += (1u << 20) + 400;
                ++attached;
            } else {
                error = writer->PutNode(nid, 0x8022, message);
            }
            bytesPut += 3800;
            if (error.ok() && i % 5000 == 4999) error = writer->Flush();
        }
        if (error.ok()) error = writer->Close();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peak = PeakResidentBytes();
        if (!error.ok()) state.SkipWithError(pst::NdbErrorText(error).c_str());
        fileSize = writer->FileSize();
        state.SetIterationTime(seconds);
        ::unlink(path.c_str());
    }
    state.counters["MB_per_s"] = bytesPut / seconds / 1e6;
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["peak_limit_MB"] = (64.0 * 1024 * 1024 + 512.0 * messages) / 1e6;
    state.counters["file_MB"] = static_cast<double>(fileSize) / 1e6;
}
BENCHMARK(BM_NdbWriteStore)
    ->Args({100'000, 1000, 1})
    ->Args({100'000, 1000, 0})
    ->Args({100'000, 0, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace krv
