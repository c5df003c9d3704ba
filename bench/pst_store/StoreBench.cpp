// StoreBench.cpp: write rate and peak memory of the message store at the scale of a large
// repair, through the same calls the messaging interface makes: properties one at a time,
// recipients, attachments, keep-open and final saves, checkpoints as the store's default
// policy makes them, and Close.
//
// Usage: krv_bench_pst_store messages|attachments ansi|unicode [COUNT]
//   messages     COUNT messages (default 100000) with 2 KB bodies and two recipients each,
//                spread over ten folders (an ANSI folder holds at most 65536)
//   attachments  COUNT messages (default 256) with one 4 MiB attachment each: 1 GiB
// Prints one line of key=value pairs: seconds, MB/s (of the file written; for attachments
// of attachment bytes), peak resident memory and its target (64 MB + 512 bytes a message).
// The store goes to $TMPDIR (or /tmp) and is removed. MB are 10^6 bytes.
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/PstStore.h"
#include "platform/pst/messaging/StringProperties.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace krv::pst;
using krv::pstformat::Layout;

double PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024;
    return 0;
}

std::u16string Words(size_t n, uint32_t seed)
{
    static const char16_t* const kWords[] = {u"report ",  u"meeting ", u"budget ", u"the ",  u"of ",       u"and ",
                                             u"project ", u"review ",  u"please ", u"find ", u"attached ", u"team "};
    std::u16string text;
    uint32_t x = seed * 2654435761u + 1;
    while (text.size() < n) {
        x = x * 1103515245u + 12345u;
        text += kWords[(x >> 16) % 12];
    }
    text.resize(n);
    return text;
}

bool Check(const StoreError& error, const char* what)
{
    if (error.ok()) return true;
    std::fprintf(stderr, "krv_bench_pst_store: %s: %s\n", what, StoreErrorText(error).c_str());
    return false;
}

bool WriteMessage(PstStore& store, uint32_t folder, uint32_t i, const std::vector<uint8_t>* attachment)
{
    const Layout layout = store.GetLayout();
    StoreError error;
    auto message = store.CreateMessage(folder, false, error);
    if (!message) return Check(error, "CreateMessage");
    const std::u16string n = krv::pst::TextOf(MakeString8(0, std::to_string(i))).value_or(u"");
    if (!Check(message->SetProperty(MakeLayoutString(kIdMessageClass, u"IPM.Note", layout)), "class")) return false;
    if (!Check(message->SetProperty(MakeLayoutString(kIdSubject, u"Weekly report " + n, layout)), "subject"))
        return false;
    if (!Check(message->SetProperty(MakeLayoutString(kIdBody, Words(2048, i), layout)), "body")) return false;
    if (!Check(message->SetProperty(MakeInt32(MakeTag(kIdMessageFlags, kTypeInt32), i % 3 == 0 ? 0 : kMsgFlagRead)),
               "flags"))
        return false;
    if (!Check(message->SetProperty(MakeInt64(MakeTag(0x0E06, kTypeTime), 0x01D9000000000000ull + i * 10000000ull)),
               "time"))
        return false;
    for (int r = 0; r < 2; ++r) {
        uint32_t row = 0;
        const std::u16string name = r == 0 ? u"Alice Able" : u"Bob Baker";
        const std::u16string email = r == 0 ? u"alice@example.com" : u"bob@example.com";
        const std::vector<PropertyValue> recipient{
            MakeLayoutString(kIdDisplayName, name, layout), MakeLayoutString(0x3002, u"SMTP", layout),
            MakeLayoutString(0x3003, email, layout), MakeInt32(MakeTag(kIdRecipientType, kTypeInt32), r + 1)};
        if (!Check(message->AddRecipient(recipient, row), "recipient")) return false;
    }
    if (!Check(message->SaveKeepOpen(), "keep-open save")) return false;
    if (attachment != nullptr) {
        Attachment* a = message->CreateAttachment(error);
        if (a == nullptr) return Check(error, "CreateAttachment");
        std::vector<uint8_t> data = *attachment;
        for (size_t k = 0; k < 4; ++k) data[k] = static_cast<uint8_t>(i >> (8 * k));
        if (!Check(a->SetProperty(MakeLayoutString(kIdAttachFilename, u"report.bin", layout)), "filename"))
            return false;
        if (!Check(a->SetProperty(PropertyValue{0x37010102, std::move(data)}), "data")) return false;
        if (!Check(a->Save(), "attachment save")) return false;
    }
    return Check(message->SaveFinal(), "final save");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: krv_bench_pst_store messages|attachments ansi|unicode [COUNT]\n", stderr);
        return 2;
    }
    const std::string scenario = argv[1];
    const Layout layout = std::string(argv[2]) == "ansi" ? Layout::Ansi : Layout::Unicode;
    const bool attachments = scenario == "attachments";
    const uint32_t count =
        argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : (attachments ? 256 : 100000);
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/krv-bench-store-" + std::to_string(::getpid()) + ".pst";

    std::vector<uint8_t> payload;
    if (attachments) {
        payload.resize(4u << 20);
        uint32_t x = 12345;
        for (uint8_t& b : payload) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
    }

    const auto start = std::chrono::steady_clock::now();
    StoreOptions options;
    options.layout = layout;
    options.replaceExisting = true;
    StoreError error;
    auto store = PstStore::Create(path, options, error);
    if (!store) return Check(error, "Create") ? 1 : 1;
    uint32_t folders[10] = {};
    for (uint32_t f = 0; f < 10; ++f) {
        const std::u16string name = u"Folder " + std::u16string(1, static_cast<char16_t>(u'0' + f));
        if (!Check(store->CreateFolder(store->IpmSubtree(), name, FolderCreateMode::FailIfExists, folders[f]),
                   "folder"))
            return 1;
    }
    bool ok = true;
    for (uint32_t i = 0; i < count && ok; ++i)
        ok = WriteMessage(*store, folders[i % 10], i, attachments ? &payload : nullptr);
    ok = ok && Check(store->Close(), "Close");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t fileSize = store->FileSize();
    ::unlink(path.c_str());
    if (!ok) return 1;

    const double payloadBytes = attachments ? double(payload.size()) * count : double(fileSize);
    const double peak = PeakResidentBytes();
    const double target = 64e6 + 512.0 * count;
    std::printf(
        "scenario=%s layout=%s messages=%u seconds=%.2f file_MB=%.1f MB_per_s=%.1f peak_MB=%.1f target_peak_MB=%.1f\n",
        scenario.c_str(), layout == Layout::Ansi ? "ansi" : "unicode", count, seconds, fileSize / 1e6,
        payloadBytes / 1e6 / seconds, peak / 1e6, target / 1e6);
    return 0;
}
