// Manifest.h: the JSON account of a written store, for tests to compare what readers find
// against: totals, the folders by path (as krv-inspect tree writes paths), the named
// properties, and each message with its subject, bodies, recipients and attachments.
//
// Messages are streamed out as they are written, so a store of any size is described
// in constant memory; the totals and folders follow them.
#ifndef KRV_TOOLS_KRVMKPST_MANIFEST_H
#define KRV_TOOLS_KRVMKPST_MANIFEST_H

#include "tools/krv-mkpst/MessageWriter.h"
#include "tools/krv-mkpst/StoreShape.h"

#include <cstdio>
#include <string>
#include <vector>

namespace krv::mkpst {

struct ManifestFolder {
    std::string path; // "/Top of Personal Folders/..."
    uint64_t messages = 0;
    bool standard = false; // made by the store itself, not by the tool
};

struct ManifestSummary {
    std::string layout;
    std::string encryption;
    uint64_t seed = 0;
    std::string displayName;
    uint64_t messages = 0;
    uint64_t attachments = 0;
    uint64_t recipients = 0;
    std::vector<ManifestFolder> folders;
    std::vector<NamedPropPlan> namedProps;
};

class ManifestWriter {
public:
    ManifestWriter() = default;
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;
    ~ManifestWriter();

    // A manifest that is not finished (the run failed) is removed again, so that no
    // half-written description is left beside a store.
    [[nodiscard]] bool Open(const std::string& path);
    void Message(const MessagePlan& plan, const std::string& folderPath, const WrittenMessage& written);
    // Writes the rest and closes the file; false when any write failed.
    [[nodiscard]] bool Finish(const ManifestSummary& summary);

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    bool m_first = true;
};

} // namespace krv::mkpst

#endif
