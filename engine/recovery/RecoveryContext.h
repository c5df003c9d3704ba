// RecoveryContext.h: what the recovery passes of one repair share: its options, the maps
// that tie source folders, folder names and named properties to the output, the flags
// that stop writing, and the job's channel for log lines and errors.
//
// The job is the context (it derives from this); the passes only borrow it.
#ifndef KRV_ENGINE_RECOVERY_RECOVERYCONTEXT_H
#define KRV_ENGINE_RECOVERY_RECOVERYCONTEXT_H

#include "engine/recovery/RecoveryOptions.h"
#include "platform/mapi/MapiInterfaces.h"
#include "platform/os/CodePage.h"
#include "resources/StringTable.h"

#include <cstdint>
#include <map>
#include <string>

namespace krv {

// What the passes have recovered, by kind: folders kept, messages written, attachments
// found on their own and wrapped into a message. Their sum is the item count.
struct ItemTally {
    uint32_t folders = 0;
    uint32_t messages = 0;
    uint32_t wrappedAttachments = 0;
};

class RecoveryContext {
public:
    RecoveryContext() = default;
    virtual ~RecoveryContext() = default;
    RecoveryContext(const RecoveryContext&) = delete;
    RecoveryContext& operator=(const RecoveryContext&) = delete;

    [[nodiscard]] virtual const RecoveryOptions& Options() const = 0;
    // A line for the repair log, and an error text, to whoever runs the repair.
    virtual void SendLogLine(const std::string& text) = 0;
    virtual void SendError(const std::string& text) = 0;
    // The text of `id` formatted printf-style (%s takes const char*, %lu unsigned long),
    // sent as a log line or as an error.
    void LogFormatted(StringId id, ...);
    void ErrorFormatted(StringId id, ...);

    // True when the output has the 64-bit (Unicode) layout.
    [[nodiscard]] bool UnicodeOutput() const { return OutputLayout == 64; }

    // Records the result of a call that writes to the output. A full disk (or a file-size
    // limit) fails every later write the same way, so the first one stops all writing. A
    // store at the largest size of its layout is as full as a reached size limit: writing
    // goes on in the next output file. True when the call succeeded.
    bool NoteWrite(HRESULT result);
    // The passes start nothing further once this is true: the output has outgrown its
    // size limit, or it cannot take any more.
    [[nodiscard]] bool StopWriting() const { return SplitPending != 0 || OutputFull; }

    // Destination folders by source NID and by display name (8-bit, compared exactly);
    // borrowed from the output store, never released here. Rebuilt for every output file.
    std::map<uint32_t, IMAPIFolder*> FolderMap;
    std::map<std::string, IMAPIFolder*> FolderNameMap;
    // Source named-property id (0x8000 + index in the source's name map) -> the id the
    // output store gave the same name. Rebuilt for every output file.
    std::map<uint32_t, uint32_t> NamedPropMap;
    // Set when the output file has outgrown the size limit.
    uint32_t SplitPending = 0;
    // 32 or 64.
    uint8_t OutputLayout = 32;
    // Set by NoteWrite at the first write the disk could not take.
    bool OutputFull = false;
    // Set by NoteWrite when the output reached the largest size of its layout (SplitPending
    // is set with it).
    bool StoreFull = false;
    // The code page of the 8-bit text being written: the one the message being recovered
    // names for its text, else the configured one.
    uint32_t TextCodePage = AnsiCodePage();
    // Folders on the way down from where the current walk started.
    int FolderDepth = 0;
    // Everything recovered so far, for reports of where the items came from.
    ItemTally Tally;
};

// Sets the context's text code page for the life of the object, then puts the previous
// one back.
class ScopedTextCodePage {
public:
    ScopedTextCodePage(RecoveryContext& context, uint32_t codePage)
        : m_context(context), m_previous(context.TextCodePage)
    {
        context.TextCodePage = codePage;
    }
    ~ScopedTextCodePage() { m_context.TextCodePage = m_previous; }
    ScopedTextCodePage(const ScopedTextCodePage&) = delete;
    ScopedTextCodePage& operator=(const ScopedTextCodePage&) = delete;

private:
    RecoveryContext& m_context;
    uint32_t m_previous;
};

} // namespace krv

#endif
