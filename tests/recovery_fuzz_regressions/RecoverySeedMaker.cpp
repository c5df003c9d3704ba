// RecoverySeedMaker.cpp: starting inputs for krv_fuzz_recovery, written by our own writer.
//
// usage: krv_recovery_fuzz_seeds DIR
//
// One small store per layout (folders two levels deep, messages with recipients, a file
// attachment, an embedded message, an OLE object and a named property), cut after its last
// byte in use, and damaged copies of each: header zeroed, a run of sectors zeroed, cut to
// 70 %, 37 bytes inserted in the middle, every folder its own parent, the folders' parent
// links one loop through them all (the fuzz target seals the node-tree pages again). Each file is an option byte (see
// fuzz/RecoveryFuzzEntry.h) followed by the image.
#include "fuzz/RecoveryFuzzEntry.h"
#include "platform/mapi/PropTags.h"
#include "pstformat/Endian.h"
#include "pstformat/Layout.h"
#include "pstformat/PageTrailer.h"
#include "tests/file/FileFixture.h"
#include "tests/repair/RepairTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using krv::pstformat::Layout;
using krv::test::LongProp;
using krv::test::SourceStore;
using krv::test::StringProp;

constexpr size_t kSector = 512;
constexpr uint8_t kKeepChecks = 0x40;
constexpr uint8_t kOtherSwitches = 0x80;

void Fill(SourceStore& store)
{
    const std::string body = "A short body that a repair must carry over.";
    IMAPIFolder* inbox = store.Inbox();
    {
        auto message = store.Message(inbox, "RE: Plain with a file", {StringProp(PR_BODY_A, body)});
        store.AddRecipient(message.Get(), "Ann Archer", "ann@example.com");
        store.AddRecipient(message.Get(), "Bob Baker", "bob@example.com");
        store.AddFileAttachment(message.Get(), "notes.txt", std::vector<uint8_t>(300, 'n'));
        const ULONG named = store.NamedId(u"KrvColour");
        SPropValue colour = LongProp(PROP_TAG(PT_LONG, named), 7);
        (void)message->SetProps(1, &colour, nullptr);
        SourceStore::SaveMessage(message.Get());
    }
    {
        auto message = store.Message(inbox, "Carries a message", {StringProp(PR_BODY_A, body)});
        store.AddEmbeddedMessage(message.Get(), "The inner one", "carol@example.com");
        SourceStore::SaveMessage(message.Get());
    }
    {
        auto message = store.Message(inbox, "Carries an object", {StringProp(PR_MESSAGE_CLASS_A, "IPM.Note")});
        store.AddOleAttachment(message.Get(), std::vector<uint8_t>(200, 'o'));
        SourceStore::SaveMessage(message.Get());
    }
    auto projects = store.Folder(store.Subtree(), "Projects");
    auto deep = store.Folder(projects.Get(), "Deep");
    auto message = store.Message(deep.Get(), "Deep down", {StringProp(PR_BODY_A, body)});
    store.AddRecipient(message.Get(), "Dan Dunn", "dan@example.com");
    SourceStore::SaveMessage(message.Get());
    (void)store.Folder(store.Subtree(), "Empty");
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file up to the end of its last sector that holds a nonzero byte: the writer grows
// a store in large steps, and the zeros after its data hold nothing a repair could find.
std::vector<uint8_t> InUse(std::vector<uint8_t> image)
{
    size_t end = image.size();
    while (end > 0 && image[end - 1] == 0) --end;
    end = std::min(image.size(), (end + kSector - 1) / kSector * kSector);
    image.resize(end);
    return image;
}

// Where the node tree's leaves keep each folder's parent link: the offset of every normal
// folder's nidParent, with the folder's NID, in file order.
std::vector<std::pair<size_t, uint32_t>> FolderParentLinks(const std::vector<uint8_t>& image, Layout layout)
{
    const krv::pstformat::LayoutTraits& t = krv::pstformat::TraitsOf(layout);
    const size_t parentOffset = layout == Layout::Unicode ? 24 : 12;
    constexpr uint32_t kRootFolderNid = 0x122;
    std::vector<std::pair<size_t, uint32_t>> links;
    for (size_t page = 0; page + krv::pstformat::kPageSize <= image.size(); page += krv::pstformat::kPageSize) {
        const uint8_t* p = image.data() + page;
        const uint8_t ptype = p[t.pageTrailerOffset];
        const size_t cEnt = p[t.pageEntryAreaSize];
        const uint8_t cLevel = p[t.pageEntryAreaSize + 3];
        if (ptype != krv::pstformat::PageTypeNbt || p[t.pageTrailerOffset + 1] != ptype || cLevel != 0) continue;
        for (size_t i = 0; i < cEnt && (i + 1) * t.nbtEntrySize <= t.pageEntryAreaSize; ++i) {
            const uint8_t* entry = p + i * t.nbtEntrySize;
            const auto nid = krv::pstformat::LoadLe<uint32_t>(entry);
            if ((nid & 0x1F) == 0x02 && nid != kRootFolderNid)
                links.emplace_back(page + i * t.nbtEntrySize + parentOffset, nid);
        }
    }
    return links;
}

bool Write(const fs::path& path, uint8_t options, const std::vector<uint8_t>& image)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(options));
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), image.size() + 1);
    return static_cast<bool>(out);
}

bool MakeSeeds(const fs::path& dir, Layout layout)
{
    krv::test::RepairSandbox sandbox;
    const std::string path = sandbox.File("seed.pst");
    {
        SourceStore store(path, layout);
        if (!store.Ok()) return false;
        Fill(store);
        store.Close();
    }
    const std::vector<uint8_t> image = InUse(ReadAll(path));
    const bool unicode = layout == Layout::Unicode;
    const std::string stem = (dir / (unicode ? "unicode" : "ansi")).string();
    const uint8_t defaults = krv::fuzz::DefaultRecoveryOptions(unicode);
    const uint8_t crossed = krv::fuzz::DefaultRecoveryOptions(!unicode);
    bool ok = Write(stem + "-whole", defaults, image) && Write(stem + "-crossed", crossed, image) &&
              Write(stem + "-switches", static_cast<uint8_t>(defaults | kOtherSwitches), image) &&
              Write(stem + "-walk-only", static_cast<uint8_t>(defaults & 1), image);

    std::vector<uint8_t> damaged = image;
    std::fill(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(std::min(damaged.size(), kSector)), 0);
    ok = ok && Write(stem + "-header-zeroed", defaults, damaged);

    damaged = image;
    const size_t from = image.size() * 2 / 5 / kSector * kSector;
    std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(from),
              damaged.begin() + static_cast<std::ptrdiff_t>(std::min(damaged.size(), from + 8 * kSector)), 0);
    ok = ok && Write(stem + "-sectors-zeroed", defaults, damaged);

    damaged.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(image.size() * 7 / 10));
    ok = ok && Write(stem + "-truncated", defaults, damaged);
    ok = ok && Write(stem + "-truncated-unsealed", static_cast<uint8_t>(defaults | kKeepChecks), damaged);

    const auto links = FolderParentLinks(image, layout);
    damaged = image;
    for (const auto& [at, nid] : links) krv::pstformat::StoreLe<uint32_t>(damaged.data() + at, nid);
    ok = ok && !links.empty() && Write(stem + "-folders-own-parents", defaults, damaged);
    damaged = image;
    for (size_t i = 0; i < links.size(); ++i)
        krv::pstformat::StoreLe<uint32_t>(damaged.data() + links[i].first, links[(i + 1) % links.size()].second);
    ok = ok && Write(stem + "-parent-loop", static_cast<uint8_t>(defaults | kOtherSwitches), damaged);

    damaged = image;
    damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(image.size() / 2), 37, 0x5A);
    ok = ok && Write(stem + "-shifted", static_cast<uint8_t>(crossed | kKeepChecks), damaged);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const Layout layout : {Layout::Ansi, Layout::Unicode}) {
        if (!MakeSeeds(dir, layout)) {
            std::fprintf(stderr, "the %s store could not be written\n",
                         layout == Layout::Unicode ? "64-bit" : "32-bit");
            return 1;
        }
    }
    return 0;
}
