// Manifest.cpp: writing the manifest's JSON.
#include "tools/krv-mkpst/Manifest.h"

#include "platform/os/CodePage.h"
#include "platform/os/JsonText.h"

namespace krv::mkpst {
namespace {

// Characters of the text as UTF-16 code units: what a reader of either layout counts.
size_t Utf16Length(const std::string& utf8) { return Utf8ToUtf16(utf8).size(); }

} // namespace

ManifestWriter::~ManifestWriter()
{
    if (!m_file) return;
    std::fclose(m_file);
    std::remove(m_path.c_str());
}

bool ManifestWriter::Open(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) return false;
    m_path = path;
    std::fputs("{\"items\": [", m_file);
    return true;
}

void ManifestWriter::Message(const MessagePlan& plan, const std::string& folderPath, const WrittenMessage& written)
{
    if (!m_file) return;
    std::string out = m_first ? "\n" : ",\n";
    m_first = false;
    out += "{\"index\": " + std::to_string(plan.index);
    out += ", \"folder\": " + JsonQuote(folderPath);
    out += ", \"subject\": " + JsonQuote(plan.subject);
    out += ", \"class\": \"IPM.Note\"";
    out += ", \"marker\": " + JsonQuote(plan.marker);
    out += ", \"sender\": " + JsonQuote(plan.senderName);
    out += std::string(", \"read\": ") + (plan.read ? "true" : "false");
    out += ", \"body_chars\": " + std::to_string(Utf16Length(plan.body));
    out += ", \"body_fnv\": \"" + Fingerprint(plan.body.data(), plan.body.size()) + "\"";
    out += std::string(", \"html\": ") + (plan.html ? "true" : "false");
    out += std::string(", \"rtf\": ") + (plan.rtf ? "true" : "false");
    out += ", \"recipients\": [";
    for (size_t i = 0; i < plan.recipients.size(); ++i) {
        const RecipientPlan& r = plan.recipients[i];
        if (i > 0) out += ", ";
        out += "{\"name\": " + JsonQuote(r.name) + ", \"email\": " + JsonQuote(r.email) +
               ", \"type\": " + std::to_string(r.type) + "}";
    }
    out += "], \"attachments\": [";
    for (size_t i = 0; i < plan.attachments.size(); ++i) {
        const AttachmentPlan& a = plan.attachments[i];
        if (i > 0) out += ", ";
        out += "{\"name\": " + JsonQuote(a.longName);
        out += ", \"short_name\": " + JsonQuote(a.ole ? "" : a.shortName);
        out += ", \"method\": " + std::to_string(a.ole ? 6 : 1);
        if (i < written.attachmentSizes.size()) {
            out += ", \"size\": " + std::to_string(written.attachmentSizes[i]);
            out += ", \"fnv\": \"" + written.attachmentFingerprints[i] + "\"";
        }
        out += "}";
    }
    out += "]}";
    std::fputs(out.c_str(), m_file);
}

bool ManifestWriter::Finish(const ManifestSummary& s)
{
    if (!m_file) return false;
    std::string out = "\n],\n";
    out += "\"layout\": " + JsonQuote(s.layout);
    out += ", \"encryption\": " + JsonQuote(s.encryption);
    out += ", \"seed\": " + std::to_string(s.seed);
    out += ", \"display_name\": " + JsonQuote(s.displayName);
    out += ", \"messages\": " + std::to_string(s.messages);
    out += ", \"attachments\": " + std::to_string(s.attachments);
    out += ", \"recipients\": " + std::to_string(s.recipients);
    out += ",\n\"named_properties\": [";
    for (size_t i = 0; i < s.namedProps.size(); ++i) {
        const NamedPropPlan& p = s.namedProps[i];
        if (i > 0) out += ", ";
        if (p.isString)
            out += "{\"set\": \"PS_PUBLIC_STRINGS\", \"name\": " + JsonQuote(Utf16ToUtf8(p.name)) + "}";
        else
            out += "{\"set\": \"krv-mkpst\", \"id\": " + std::to_string(p.number) + "}";
    }
    out += "],\n\"folders\": [";
    for (size_t i = 0; i < s.folders.size(); ++i) {
        const ManifestFolder& f = s.folders[i];
        out += i == 0 ? "\n" : ",\n";
        out += "{\"path\": " + JsonQuote(f.path) + ", \"messages\": " + std::to_string(f.messages) +
               ", \"standard\": " + (f.standard ? "true" : "false") + "}";
    }
    out += "\n]}\n";
    std::fputs(out.c_str(), m_file);
    const bool ok = std::ferror(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!(ok && closed)) std::remove(m_path.c_str());
    return ok && closed;
}

} // namespace krv::mkpst
