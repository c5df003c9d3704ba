// PstProvider.cpp: creating, opening and closing store files, and the store entry IDs that
// name them.
//
// A store entry ID is the wrapped form MAPI gives personal-folders stores:
//   flags(4) = 0 | MUIDSTOREWRAP(16) | version(1) = 0 | flag(1) = 0 | "mspst.dll\0"
//   | wrapped flags(4) = 0 | provider UID(16) | wrapped type(4) | path (UTF-8) "\0"
// The provider UID tells the two layouts apart: the personal-folders UID for the 32-bit
// layout, the same with its last byte 1 for the 64-bit one; the wrapped type is 0x0C,
// a store of local files.
#include "platform/mapi/store/PstProvider.h"

#include "platform/mapi/store/OpenStoreFile.h"
#include "platform/mapi/store/PstMsgStore.h"
#include "platform/mapi/store/StoreResults.h"
#include "platform/os/CodePage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

namespace krv::mapi {
namespace {

constexpr std::array<uint8_t, 16> kStoreWrapUid{0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10, 0x1A,
                                                0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2};
constexpr std::array<uint8_t, 16> kPstProviderUid{0x4E, 0x49, 0x54, 0x41, 0xF9, 0xBF, 0xB8, 0x01,
                                                  0x00, 0xAA, 0x00, 0x37, 0xD9, 0x6E, 0x00, 0x00};
constexpr char kDllName[] = "mspst.dll";
constexpr uint8_t kWrappedTypeLocal = 0x0C;

// Everything before the path, for one layout.
std::vector<uint8_t> Prefix(bool unicode)
{
    std::vector<uint8_t> id;
    id.reserve(64);
    auto append = [&](std::span<const uint8_t> bytes) {
        for (uint8_t b : bytes) id.push_back(b);
    };
    constexpr uint8_t kZeros[4] = {0, 0, 0, 0};
    append(kZeros); // flags
    append(kStoreWrapUid);
    append(std::span(kZeros, 2));                                                    // version, flag
    append(std::span(reinterpret_cast<const uint8_t*>(kDllName), sizeof(kDllName))); // with its terminator
    append(kZeros);                                                                  // wrapped flags
    std::array<uint8_t, 16> provider = kPstProviderUid;
    if (unicode) provider[15] = 1;
    append(provider);
    const uint8_t type[4] = {kWrappedTypeLocal, 0, 0, 0};
    append(type);
    return id;
}

} // namespace

HRESULT CreatePstStoreFile(const PstServiceConfig& config)
{
    if (config.path.empty()) return MAPI_E_INVALID_PARAMETER;
    const std::string path = CanonicalStorePath(config.path);
    if (FindOpenStoreFile(path)) return MAPI_E_NO_ACCESS;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return MAPI_E_NOT_FOUND;

    pst::StoreOptions options;
    options.layout = config.unicode ? pstformat::Layout::Unicode : pstformat::Layout::Ansi;
    // PR_PST_ENCRYPTION: 0x40000000 compressible (permutation), 0x20000000 best (cyclic),
    // 0x80000000 (and anything else) none.
    options.crypt = config.encryption == 0x40000000   ? pst::CryptMethod::Permute
                    : config.encryption == 0x20000000 ? pst::CryptMethod::Cyclic
                                                      : pst::CryptMethod::None;
    if (!config.displayName.empty()) options.displayName = AnsiToUtf16(config.displayName);
    // The service configuration asks for a new file; one already at the path is replaced.
    options.replaceExisting = true;
    pst::StoreError error;
    auto store = pst::PstStore::Create(path, options, error);
    if (!store) return HResultOf(error);
    auto file = std::make_shared<OpenStoreFile>(path, std::move(store));
    if (!RegisterOpenStoreFile(file)) {
        (void)file->Close();
        return MAPI_E_NO_ACCESS;
    }
    return S_OK;
}

HRESULT OpenPstMsgStore(const std::string& path, ULONG, IMsgStore** store)
{
    if (store == nullptr) return MAPI_E_INVALID_PARAMETER;
    *store = nullptr;
    auto file = FindOpenStoreFile(path);
    if (!file || !file->IsOpen()) return MAPI_E_NOT_FOUND;
    // The provider's stores are always open for writing: the flags ask for nothing less.
    *store = new PstMsgStore(std::move(file));
    return S_OK;
}

HRESULT ClosePstStoreFile(const std::string& path) { return CloseOpenStoreFile(path); }

void CloseAllPstStoreFiles() { CloseAllOpenStoreFiles(); }

std::vector<uint8_t> PstStoreEntryId(const std::string& path, bool unicode)
{
    std::vector<uint8_t> id = Prefix(unicode);
    const std::string absolute = CanonicalStorePath(path);
    id.insert(id.end(), absolute.begin(), absolute.end());
    id.push_back(0);
    return id;
}

std::optional<std::string> PstStorePathOfEntryId(std::span<const uint8_t> entryId)
{
    for (bool unicode : {false, true}) {
        const std::vector<uint8_t> prefix = Prefix(unicode);
        if (entryId.size() < prefix.size() + 2) continue;
        if (!std::equal(prefix.begin(), prefix.end(), entryId.begin())) continue;
        const auto path = entryId.subspan(prefix.size());
        // Exactly one terminator, at the end.
        if (path.back() != 0 || std::find(path.begin(), path.end() - 1, uint8_t{0}) != path.end() - 1)
            return std::nullopt;
        return std::string(path.begin(), path.end() - 1);
    }
    return std::nullopt;
}

} // namespace krv::mapi
