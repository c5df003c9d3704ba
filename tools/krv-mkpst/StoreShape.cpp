// StoreShape.cpp: the deterministic plan of folders and messages.
#include "tools/krv-mkpst/StoreShape.h"

#include <array>
#include <cstdio>

namespace krv::mkpst {
namespace {

// splitmix64: small, fast, and the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

private:
    uint64_t m_state;
};

uint64_t Mix(uint64_t a, uint64_t b)
{
    Random r(a * 0x100000001B3ull ^ (b + 0x632BE59BD9B4E019ull));
    return r.Next();
}

template <size_t N>
const char* Pick(Random& random, const std::array<const char*, N>& pool)
{
    return pool[random.Below(static_cast<uint32_t>(N))];
}

// Names that Windows-1252 holds, so they survive 8-bit text in either layout.
constexpr std::array<const char*, 8> kFolderWords8 = {"Café",  "Übersicht",   "Año",    "Ærø",
                                                      "Naïve", "Smörgåsbord", "Façade", "Crème brûlée"};
// Names that need UTF-16, one with a character outside the BMP.
constexpr std::array<const char*, 6> kFolderWordsWide = {"Проекты", "Αρχείο", "日本語", "Сводка", "Ελληνικά", "Fun 😀"};
constexpr std::array<const char*, 12> kWordsAscii = {"report",  "meeting", "budget", "the",  "of",       "and",
                                                     "project", "review",  "please", "find", "attached", "team"};
constexpr std::array<const char*, 8> kWords8 = {"Straße", "naïve", "€uro", "façade", "über", "señor", "Ørsted", "déjà"};
constexpr std::array<const char*, 8> kWordsWide = {"отчёт", "встреча", "προϋπολογισμός", "会議",
                                                   "報告",  "ομάδα",   "проект",         "検討"};
constexpr std::array<const char*, 8> kSubjectsAscii = {"Weekly report",  "Budget review", "Meeting notes",
                                                       "Project status", "Travel plans",  "Quarterly figures",
                                                       "Team lunch",     "Contract draft"};
constexpr std::array<const char*, 4> kSubjects8 = {"Résumé über Straße", "Café €uro Ñandú", "Größe naïve façade",
                                                   "Æble Øl Ål"};
constexpr std::array<const char*, 4> kSubjectsWide = {"Отчёт за неделю 📈", "Σύσκεψη ομάδας", "会議の議事録 ✉",
                                                      "Проект 😀 статус"};
constexpr std::array<const char*, 8> kPeopleAscii = {"Alice Able", "Bob Baker", "Carol Cole", "Dan Dale",
                                                     "Eve Ewing",  "Fay Ford",  "Gus Gold",   "Hal Hunt"};
constexpr std::array<const char*, 4> kPeople8 = {"Zoë Ångström", "José Muñoz", "Jürgen Weiß", "Søren Kjær"};
constexpr std::array<const char*, 4> kPeopleWide = {"Иван Петров", "Νίκος Παππάς", "山田 太郎", "Ольга Смирнова"};

// Code points in UTF-8 text.
size_t CodePoints(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// Text of exactly `chars` code points: the marker, then words.
std::string Words(Random& random, const std::string& marker, size_t chars, const MkpstOptions& options)
{
    std::string text = marker;
    size_t count = CodePoints(text);
    while (count < chars) {
        const char* word = nullptr;
        const uint32_t roll = random.Below(8);
        if (options.unicodeText && roll == 0)
            word = options.unicode ? Pick(random, kWordsWide) : Pick(random, kWords8);
        else
            word = Pick(random, kWordsAscii);
        text += ' ';
        ++count;
        const std::string w = word;
        const size_t wordPoints = CodePoints(w);
        if (count + wordPoints <= chars) {
            text += w;
            count += wordPoints;
            continue;
        }
        size_t at = 0;
        while (at < w.size() && count < chars) {
            size_t len = 1;
            const auto lead = static_cast<unsigned char>(w[at]);
            if (lead >= 0xF0)
                len = 4;
            else if (lead >= 0xE0)
                len = 3;
            else if (lead >= 0xC0)
                len = 2;
            text.append(w, at, len);
            at += len;
            ++count;
        }
    }
    // A marker longer than the body asked for is cut to whole code points.
    if (count > chars) {
        size_t keep = 0, seen = 0;
        while (keep < text.size() && seen < chars) {
            ++keep;
            while (keep < text.size() && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) ++keep;
            ++seen;
        }
        text.resize(keep);
    }
    return text;
}

std::string Number(uint32_t n, int width)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*u", width, n);
    return buffer;
}

} // namespace

std::vector<FolderPlan> PlanFolders(const MkpstOptions& options)
{
    std::vector<FolderPlan> folders;
    Random random(Mix(options.seed, 0xF01DE2));
    std::vector<int> parents{kTopFolder}; // the folders that may still take children
    for (uint32_t i = 0; i < options.folders; ++i) {
        FolderPlan folder;
        if (i < options.depth) {
            // The first folders make a chain, so the tree reaches the depth asked for.
            folder.parent = i == 0 ? kTopFolder : static_cast<int>(i - 1);
        } else {
            folder.parent = parents[random.Below(static_cast<uint32_t>(parents.size()))];
        }
        folder.depth = folder.parent == kTopFolder ? 1 : folders[folder.parent].depth + 1;
        if (folder.depth < options.depth) parents.push_back(static_cast<int>(i));
        // The number keeps sibling names apart: CreateFolder opens an existing folder of the
        // same name instead of making a second one.
        folder.createName = std::string(Pick(random, kFolderWords8)) + " " + Number(i + 1, 2);
        folder.finalName = folder.createName;
        if (options.unicodeText && options.unicode && i % 2 == 1)
            folder.finalName = std::string(Pick(random, kFolderWordsWide)) + " " + Number(i + 1, 2);
        folders.push_back(std::move(folder));
    }
    for (uint32_t m = 0; m < options.messages && !folders.empty(); ++m) ++folders[m % folders.size()].messages;
    return folders;
}

MessagePlan PlanMessage(const MkpstOptions& options, uint32_t index, uint32_t folderCount)
{
    Random random(Mix(options.seed, uint64_t{index} + 1));
    MessagePlan m;
    m.index = index;
    m.folder = folderCount == 0 ? 0 : index % folderCount;
    m.marker = "krv-mkpst-" + std::to_string(options.seed) + "-" + std::to_string(index);
    const char* subject = Pick(random, kSubjectsAscii);
    if (options.unicodeText) subject = options.unicode ? Pick(random, kSubjectsWide) : Pick(random, kSubjects8);
    m.subject = std::string(subject) + " #" + std::to_string(index);
    const uint32_t sender = random.Below(8);
    m.senderName = kPeopleAscii[sender];
    m.senderEmail = "sender" + std::to_string(sender) + "@example.com";
    // From 2020-01-01 on, about an hour apart.
    constexpr uint64_t kJanuary2020 = 132223104000000000ull;
    constexpr uint64_t kSecond = 10'000'000ull;
    m.submitTime = kJanuary2020 + (uint64_t{index} * 3600 + random.Below(600)) * kSecond;
    m.deliveryTime = m.submitTime + (5 + random.Below(300)) * kSecond;
    m.read = random.Below(3) != 0;
    m.body = Words(random, m.marker + ".", options.bodyChars, options);
    if (!options.plainOnly) {
        // Every message a plain body; beside it HTML, RTF or both, in turn.
        m.html = index % 3 != 1;
        m.rtf = index % 3 != 0;
    }
    for (uint32_t r = 0; r < options.recipients; ++r) {
        RecipientPlan recipient;
        const char* name = kPeopleAscii[(index + r) % kPeopleAscii.size()];
        if (options.unicodeText && r % 2 == 1)
            name = options.unicode ? kPeopleWide[(index + r) % kPeopleWide.size()]
                                   : kPeople8[(index + r) % kPeople8.size()];
        recipient.name = std::string(name) + " " + std::to_string(r + 1);
        recipient.email = "r" + std::to_string(index) + "." + std::to_string(r + 1) + "@example.com";
        recipient.type = r == 0 || r % 2 == 0 ? 1 : 2;
        m.recipients.push_back(std::move(recipient));
    }
    for (uint32_t a = 0; a < options.attachments; ++a) {
        AttachmentPlan attachment;
        const std::string tag = std::to_string(index) + "-" + std::to_string(a + 1);
        if (options.unicodeText)
            attachment.longName = (options.unicode ? "Отчёт " : "Übersicht März ") + tag + ".dat";
        else
            attachment.longName = "Quarterly figures " + tag + " with a long file name.dat";
        attachment.shortName = "ATT" + Number((index * 97 + a) % 100000, 5) + ".DAT";
        attachment.size = options.attachmentBytes;
        attachment.contentSeed = Mix(options.seed ^ 0xA77AC4, (uint64_t{index} << 16) + a);
        m.attachments.push_back(std::move(attachment));
    }
    if (options.ole) {
        AttachmentPlan object;
        object.ole = true;
        object.longName = "Embedded object " + std::to_string(index);
        object.contentSeed = Mix(options.seed ^ 0x01E, index);
        m.attachments.push_back(std::move(object));
    }
    return m;
}

std::vector<uint8_t> AttachmentBytes(const AttachmentPlan& attachment)
{
    std::vector<uint8_t> bytes(attachment.size);
    Random random(attachment.contentSeed);
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const uint64_t v = random.Next();
        for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    const uint64_t tail = random.Next();
    for (int k = 0; i < bytes.size(); ++i, ++k) bytes[i] = static_cast<uint8_t>(tail >> (8 * k));
    return bytes;
}

std::string HtmlBody(const MessagePlan& message)
{
    std::string html = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>"
                       "<body><p>";
    for (char c : message.body) {
        if (c == '<')
            html += "&lt;";
        else if (c == '>')
            html += "&gt;";
        else if (c == '&')
            html += "&amp;";
        else
            html += c;
    }
    html += "</p></body></html>";
    return html;
}

std::string RtfBody(const MessagePlan& message)
{
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 ";
    // Non-ASCII characters as \uN? escapes: RTF itself is 7-bit text.
    for (size_t i = 0; i < message.body.size();) {
        const auto c = static_cast<unsigned char>(message.body[i]);
        if (c < 0x80) {
            if (c == '\\' || c == '{' || c == '}') rtf += '\\';
            rtf += static_cast<char>(c);
            ++i;
            continue;
        }
        uint32_t cp = 0;
        size_t len = 0;
        if (c >= 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x1F;
            len = 2;
        }
        for (size_t k = 1; k < len && i + k < message.body.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(message.body[i + k]) & 0x3F);
        i += len;
        // \u takes a signed 16-bit number; the body holds BMP characters only.
        rtf += "\\u" + std::to_string(static_cast<int16_t>(cp)) + "?";
    }
    rtf += "\\par\n}";
    return rtf;
}

std::vector<NamedPropPlan> PlanNamedProps(uint32_t count)
{
    std::vector<NamedPropPlan> names;
    for (uint32_t i = 0; i < count; ++i) {
        NamedPropPlan p;
        p.isString = i % 2 == 0;
        if (p.isString) {
            const std::string ascii = "krv-mkpst-name-" + std::to_string(i / 2 + 1);
            p.name.assign(ascii.begin(), ascii.end());
        } else {
            p.number = static_cast<int32_t>(0x8100 + i / 2);
        }
        names.push_back(std::move(p));
    }
    return names;
}

std::string Fingerprint(const void* data, size_t size)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace krv::mkpst
