// StoreTestSupport.h: helpers of the message store tests: reading a written store back node by
// node with the independent test readers, building values, compressed RTF, and running
// the independent judges (krv-pstcheck, pffinfo, pffexport, readpst) and gathering what
// they found.
#ifndef KRV_TESTS_PST_STORETESTSUPPORT_H
#define KRV_TESTS_PST_STORETESTSUPPORT_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "platform/pst/messaging/StoreError.h"
#include "pstformat/Layout.h"
#include "tests/pst/LtpTestReader.h"
#include "tests/support/NdbStoreCheck.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::test {

// A store file read back whole: every node decoded, and readers of their PCs and TCs.
struct WrittenStore {
    pstformat::Layout layout = pstformat::Layout::Unicode;
    NdbStoreCheck check;

    [[nodiscard]] bool Has(uint32_t nid) const { return check.nodes.contains(nid); }
    [[nodiscard]] ReadPcResult Pc(uint32_t nid) const;
    [[nodiscard]] ReadTcResult Tc(uint32_t nid) const;
    [[nodiscard]] const WalkedNode* Entry(uint32_t nid) const { return check.walk.FindNode(nid); }
};

[[nodiscard]] WrittenStore ReadWrittenStore(const std::string& path);

// A property's value as text (either string type), or as a 32-bit number.
[[nodiscard]] std::string TextValue(const ReadProperty& property);
[[nodiscard]] uint32_t Int32Value(const ReadProperty& property);
[[nodiscard]] std::string CellText(const std::vector<uint8_t>& bytes, uint32_t tag);

// ASCII text as a string property of the layout's type.
[[nodiscard]] pst::PropertyValue Text(uint16_t id, std::string_view ascii, pstformat::Layout layout);
[[nodiscard]] std::u16string U16(std::string_view ascii);

// `rtf` as PidTagRtfCompressed holds it: the LZFu form made of literal tokens only, with
// the end reference and the CRC the format asks for ([MS-OXRTFCP] 2.1.3).
[[nodiscard]] std::vector<uint8_t> CompressRtf(std::string_view rtf);

// `n` bytes that differ from seed to seed and from offset to offset.
[[nodiscard]] std::vector<uint8_t> Bytes(size_t n, uint32_t seed);

// "Expect ok" with the error's text.
#define KRV_EXPECT_OK(expr)                                                                                            \
    do {                                                                                                               \
        const ::krv::pst::StoreError krvError_ = (expr);                                                               \
        EXPECT_TRUE(krvError_.ok()) << #expr << ": " << ::krv::pst::StoreErrorText(krvError_);                         \
    } while (0)
#define KRV_ASSERT_OK(expr)                                                                                            \
    do {                                                                                                               \
        const ::krv::pst::StoreError krvError_ = (expr);                                                               \
        ASSERT_TRUE(krvError_.ok()) << #expr << ": " << ::krv::pst::StoreErrorText(krvError_);                         \
    } while (0)

// ---- judges

struct ToolRun {
    int exitCode = -1;
    std::string output; // stdout and stderr
};

[[nodiscard]] ToolRun RunTool(const std::string& command);
[[nodiscard]] bool HaveTool(const std::string& name);
[[nodiscard]] std::string Quoted(const std::filesystem::path& path);

// krv-pstcheck beside the test programs; none when it was not built.
[[nodiscard]] std::optional<std::string> PstcheckPath();

// A message as an independent reader exported it.
struct FoundMessage {
    std::string folder; // path below the top folder the reader shows
    std::string subject;
    std::string text; // everything the reader wrote about the message: headers, bodies
    std::vector<std::string> embeddedSubjects;
    std::map<std::string, std::vector<uint8_t>> attachments; // file name -> bytes
};

struct Export {
    int exitCode = -1;
    std::vector<std::string> folders; // every folder below the top one, by path
    std::vector<FoundMessage> messages;
};

// pffexport -m all -f all -t DIR FILE, then its export folder read back.
[[nodiscard]] Export ExportWithPffexport(const std::string& store, const std::filesystem::path& dir);
// readpst -D -S -j 0 -o DIR FILE, then its output read back.
[[nodiscard]] Export ExportWithReadpst(const std::string& store, const std::filesystem::path& dir);

} // namespace krv::test

#endif
