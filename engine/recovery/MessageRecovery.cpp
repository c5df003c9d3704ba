// MessageRecovery.cpp: messages, their recipients and attachments, and wrapped attachments.
#include "engine/recovery/MessageRecovery.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeStrings.h"
#include "engine/items/ObjectClassification.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/PropertyValue.h"
#include "engine/output/DestinationObjects.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/PropertyTransfer.h"
#include "engine/recovery/TextConversion.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace krv {
namespace {

constexpr uint32_t kRecipientTableNid = 0x692;
constexpr uint32_t kAttachmentTableNid = 0x671;
constexpr ULONG kAttachmentRowIdTag = 0x67F20003;
constexpr ULONG kErrorRowIdTag = PROP_TAG(PT_ERROR, 0x3000);
constexpr uint16_t kFirstNamedId = 0x8000;
constexpr uint64_t kMegabyte = 1048576;

// Frees the rows of a table read unless they were handed on.
struct RowsGuard {
    TableRows& rows;
    ~RowsGuard() { FreeRows(rows); }
};

bool IsAssociatedMessage(const PstNode& node)
{
    return pstformat::NidTypeOf(node.nid) == pstformat::NidTypeAssocMessage;
}

// The default class, in the output's string form.
void SetDefaultMessageClass(RecoveryContext& context, IMessage* message)
{
    const char* text = LoadString(StringId::TextDefaultMessageClass);
    SPropValue value{};
    std::u16string wide;
    if (context.UnicodeOutput()) {
        wide = AnsiToUtf16(text);
        value.ulPropTag = PR_MESSAGE_CLASS_W;
        value.Value.lpszW = wide.data();
    } else {
        value.ulPropTag = PR_MESSAGE_CLASS_A;
        value.Value.lpszA = const_cast<char*>(text);
    }
    context.NoteWrite(SetOneProperty(message, value));
}

// The subnodes that hold no item of their own (large property values, tables) went out
// with the item that names them. Marked, their blocks are no longer candidates for the
// passes over unclaimed data trees, which would otherwise load every one of them (on a
// healthy store, every large body and attachment) only to find it is no item.
void MarkValueSubnodes(PstNode& node)
{
    node.subnodes.ForEach([](uint32_t nid, PstNodeMap::Versions& versions) {
        if (ObjectTypeFromNid(nid) != 0) return;
        for (auto& version : versions)
            if (version) SetUsedMark(*version, 1);
    });
}

// A message or attachment that did not reach the output is not written: its node and
// everything below it may be taken again (by a deeper pass or the next output file).
void Unmark(PstNode& node)
{
    SetUsedMark(node, 0);
    node.subnodes.ForEach([](uint32_t, PstNodeMap::Versions& versions) {
        for (auto& version : versions)
            if (version) Unmark(*version);
    });
}

// The NIDs of a subnode map in ascending order, so that the output gets the same order on
// every run.
std::vector<uint32_t> SortedNids(const PstNodeMap& map)
{
    std::vector<uint32_t> nids;
    nids.reserve(map.Size());
    map.ForEach([&](uint32_t nid, const PstNodeMap::Versions&) { nids.push_back(nid); });
    std::sort(nids.begin(), nids.end());
    return nids;
}

// An attachment whose embedded message or OLE object did not come across (its subnode is
// lost, or holds neither) must not claim one: a mail client fails to open an attachment
// whose method names an object that is not there. It stays, with its name and whatever
// else it carries, as an attachment by value without data.
void ClaimNoObject(RecoveryContext& context, const PstNode& attachmentNode, IAttach* attachment)
{
    LPSPropValue raw = nullptr;
    if (!GetOneProp(attachmentNode, PR_ATTACH_METHOD, raw)) return;
    const MapiPtr<SPropValue> method(raw);
    if (method->Value.ul != ATTACH_EMBEDDED_MSG && method->Value.ul != ATTACH_OLE) return;
    SPropValue byValue{};
    byValue.ulPropTag = PR_ATTACH_METHOD;
    byValue.Value.ul = ATTACH_BY_VALUE;
    context.NoteWrite(SetOneProperty(attachment, byValue));
}

// One attachment subnode written as a new attachment of message; true when it was saved.
bool WriteAttachment(RecoveryContext& context, PstNode& attachmentNode, IMessage* message)
{
    ObjectRef<IAttach> attachment;
    if (!context.NoteWrite(CreateOutputAttachment(message, attachment))) return false;
    bool objectWritten = false;
    CopyNodeProperties(context, attachmentNode, attachment.Get(), &objectWritten);
    if (!objectWritten) ClaimNoObject(context, attachmentNode, attachment.Get());
    if (!context.NoteWrite(SaveFinal(attachment.Get()))) return false;
    SetUsedMark(attachmentNode, 1);
    MarkValueSubnodes(attachmentNode);
    return true;
}

// A recipient row made fit for the output: named properties under the output's
// identifiers (one without a name there is dropped, as it would be misread), and 8-bit
// text read in the message's code page when that is not the configured one (the output
// store converts the rest itself).
void PrepareRecipientRow(RecoveryContext& context, LPSPropValue row, ULONG count)
{
    const bool unicode = context.UnicodeOutput();
    const bool ownCodePage = context.TextCodePage != AnsiCodePage();
    for (ULONG c = 0; c < count; ++c) {
        SPropValue& value = row[c];
        const ULONG id = PROP_ID(value.ulPropTag);
        if (id >= kFirstNamedId) {
            const auto mapped = context.NamedPropMap.find(id);
            if (mapped == context.NamedPropMap.end()) {
                value.ulPropTag = PROP_TAG(PT_ERROR, id);
                value.Value.err = MAPI_E_NOT_FOUND;
                continue;
            }
            value.ulPropTag = PROP_TAG(PROP_TYPE(value.ulPropTag), mapped->second);
        }
        if (!ownCodePage) continue;
        const ULONG type = PROP_TYPE(value.ulPropTag);
        if (type == PT_STRING8 && unicode && value.Value.lpszA != nullptr) {
            const std::u16string wide = AnsiToWide(value.Value.lpszA, context.TextCodePage);
            char16_t* copy = nullptr;
            if (FAILED(MapiAllocateMoreArray(wide.size() + 1, row, &copy))) continue;
            std::copy(wide.begin(), wide.end(), copy);
            value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_UNICODE);
            value.Value.lpszW = copy;
        }
    }
}

// The wrapped attachment's subject: the fixed text, the file name and the size. Built in
// UTF-16 so that a name in any script survives into a Unicode output.
std::u16string LooseAttachmentSubject(const PstNode& node)
{
    std::u16string subject = AnsiToUtf16(LoadString(StringId::TextEmptyAttachmentMessage));
    std::u16string name;
    LPSPropValue raw = nullptr;
    if (GetOneProp(node, PR_ATTACH_FILENAME_W, raw)) {
        const MapiPtr<SPropValue> value(raw);
        if (value->Value.lpszW != nullptr) name = value->Value.lpszW;
    } else if (GetOneProp(node, PR_ATTACH_FILENAME_A, raw)) {
        const MapiPtr<SPropValue> value(raw);
        if (value->Value.lpszA != nullptr) name = AnsiToUtf16(value->Value.lpszA);
    }
    if (!name.empty()) subject += u" " + name;
    if (GetOneProp(node, PR_ATTACH_SIZE, raw)) {
        const MapiPtr<SPropValue> value(raw);
        char size[64];
        std::snprintf(size, sizeof size, LoadString(StringId::TextAttachmentSizeSuffix),
                      static_cast<unsigned long>(value->Value.ul));
        subject += u" " + AnsiToUtf16(size);
    }
    return subject;
}

} // namespace

std::string StripSubjectPrefix(const std::string& text)
{
    if (text.size() > 1 && text[0] == '\x01') return text.substr(2);
    return text;
}

int FindColumn(ULONG tag, const TableColumns& columns)
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == tag) return static_cast<int>(i);
    return -1;
}

void CheckOutputSize(RecoveryContext& context, const OutputStore& store)
{
    if (context.Options().SplitOversizePST == 0) return;
    const uint64_t limit = uint64_t{context.Options().PSTFileSizeLimit} * kMegabyte;
    if (store.GetOutputFileSize() > limit) context.SplitPending = 1;
}

void TransferMessageProps(RecoveryContext& context, const PstNode& node, IMessage* message)
{
    if (message == nullptr || GetHeapKind(node) != HeapKind::PropertyContext) return;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(node, count, props)) return;
    const MapiPtr<SPropValue> owned(props);
    const bool unicode = context.UnicodeOutput();
    bool hasRtf = false;
    bool hasBody = false;
    bool hasInSync = false;
    for (ULONG i = 0; i < count; ++i) {
        const ULONG tag = props[i].ulPropTag;
        hasRtf = hasRtf || tag == PR_RTF_COMPRESSED;
        hasBody = hasBody || tag == PR_BODY_A || tag == PR_BODY_W;
        hasInSync = hasInSync || tag == PR_RTF_IN_SYNC;
        TransferProperty(context, node, props[i], message, unicode);
    }
    if (count > 0) context.NoteWrite(SaveKeepOpen(message));
    // A message whose only body is its RTF says so; otherwise a client would take the
    // missing plain text as the body and rebuild the RTF from nothing.
    if (hasRtf && !hasBody && !hasInSync) {
        SPropValue inSync{};
        inSync.ulPropTag = PR_RTF_IN_SYNC;
        inSync.Value.b = 1;
        context.NoteWrite(SetOneProperty(message, inSync));
        context.NoteWrite(SaveKeepOpen(message));
    }
}

void RecoverTableAttachments(RecoveryContext& context, PstNode& node, IMessage* message)
{
    PstNode* table = node.subnodes.FindCurrent(kAttachmentTableNid);
    if (table == nullptr || GetUsedMark(*table) != 0 || message == nullptr) return;
    if (GetHeapKind(*table) != HeapKind::TableContext) return;
    TableColumns columns;
    TableRows rows;
    RowsGuard guard{rows};
    if (!ReadTable(*table, columns, rows)) return;
    SetUsedMark(*table, 1);
    const int column = FindColumn(kAttachmentRowIdTag, columns);
    if (column < 0) return;
    for (const LPSPropValue row : rows) {
        if (context.StopWriting()) break;
        const SPropValue& cell = row[column];
        if (cell.ulPropTag != kAttachmentRowIdTag) continue;
        const uint32_t nid = cell.Value.ul;
        if (!IsSubnodeHnid(nid)) continue;
        PstNode* attachment = node.subnodes.FindCurrent(nid);
        if (attachment == nullptr || GetUsedMark(*attachment) != 0) continue;
        WriteAttachment(context, *attachment, message);
    }
}

void RecoverMessageAttachments(RecoveryContext& context, PstNode& node, IMessage* message)
{
    if (message == nullptr) return;
    RecoverTableAttachments(context, node, message);
    if (context.Options().RecoverUnattchedAttach == 0) return;
    for (const uint32_t nid : SortedNids(node.subnodes)) {
        if (context.StopWriting()) break;
        if (ObjectTypeFromNid(nid) != MAPI_ATTACH) continue;
        PstNode* attachment = node.subnodes.FindCurrent(nid);
        if (attachment == nullptr || GetUsedMark(*attachment) != 0) continue;
        WriteAttachment(context, *attachment, message);
    }
}

void RecoverRecipients(RecoveryContext& context, PstNode& node, IMessage* message)
{
    PstNode* table = node.subnodes.FindCurrent(kRecipientTableNid);
    if (table == nullptr || GetUsedMark(*table) != 0 || message == nullptr) return;
    if (GetHeapKind(*table) != HeapKind::TableContext) return;
    TableColumns columns;
    TableRows rows;
    RowsGuard guard{rows};
    if (!ReadTable(*table, columns, rows)) return;
    SetUsedMark(*table, 1);

    ADRLIST* rawList = nullptr;
    if (FAILED(AllocateAdrList(rows.size(), &rawList))) return;
    AdrListPtr list(rawList);
    const int rowIdColumn = FindColumn(PR_ROWID, columns);
    const auto columnCount = static_cast<ULONG>(columns.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        LPSPropValue row = rows[i];
        // The output numbers its recipient rows itself.
        if (rowIdColumn >= 0 && static_cast<ULONG>(rowIdColumn) < columnCount &&
            row[rowIdColumn].ulPropTag == PR_ROWID) {
            row[rowIdColumn].ulPropTag = kErrorRowIdTag;
            row[rowIdColumn].Value.err = MAPI_E_BAD_VALUE;
        }
        PrepareRecipientRow(context, row, columnCount);
        list->aEntries[i].cValues = columnCount;
        list->aEntries[i].rgPropVals = row;
        rows[i] = nullptr; // the list owns it now
    }
    rows.clear();
    context.NoteWrite(AddRecipients(message, std::move(list)));
}

bool RecoverEmbeddedMessage(RecoveryContext& context, PstNode& embedded, IMAPIProp* attachment)
{
    if (attachment == nullptr) return false;
    ObjectRef<IUnknown> opened;
    if (!context.NoteWrite(
            attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_MODIFY | MAPI_CREATE, opened.Out())) ||
        !opened)
        return false;
    ObjectRef<IMessage> message;
    if (FAILED(opened->QueryInterface(IID_IMessage, reinterpret_cast<void**>(message.Out())))) return false;
    const ScopedTextCodePage codePage(context, MessageCodePage(embedded));
    SetDefaultMessageClass(context, message.Get());
    TransferMessageProps(context, embedded, message.Get());
    context.NoteWrite(SaveKeepOpen(message.Get()));
    SetUsedMark(embedded, 1);
    MarkValueSubnodes(embedded);
    RecoverMessageAttachments(context, embedded, message.Get());
    RecoverRecipients(context, embedded, message.Get());
    if (!context.NoteWrite(SaveFinal(message.Get()))) {
        Unmark(embedded);
        return false;
    }
    return true;
}

uint32_t RecoverMessage(RecoveryContext& context, PstNode& node, OutputStore& store, IMAPIFolder* folder)
{
    if (GetHeapKind(node) != HeapKind::PropertyContext) {
        SetUsedMark(node, 1);
        return 0;
    }
    context.LogFormatted(StringId::TextRecoverMessage,
                         StripSubjectPrefix(GetNodeString(node, PROP_ID(PR_SUBJECT))).c_str());
    if (folder == nullptr) return 0;
    try {
        ObjectRef<IMessage> message;
        if (!context.NoteWrite(CreateOutputMessage(folder, IsAssociatedMessage(node), message))) return 0;
        SetDefaultMessageClass(context, message.Get());
        const ScopedTextCodePage codePage(context, MessageCodePage(node));
        TransferMessageProps(context, node, message.Get());
        context.NoteWrite(SaveKeepOpen(message.Get()));
        SetUsedMark(node, 1);
        RecoverMessageAttachments(context, node, message.Get());
        RecoverRecipients(context, node, message.Get());
        if (!context.NoteWrite(SaveFinal(message.Get()))) {
            Unmark(node);
            return 0;
        }
        message.Reset();
        MarkValueSubnodes(node);
        ++context.Tally.messages;
        CheckOutputSize(context, store);
        return 1;
    } catch (...) {
        context.ErrorFormatted(StringId::TextError3, LoadString(StringId::TextMessageProcess));
        return 0;
    }
}

uint32_t RecoverLooseAttachment(RecoveryContext& context, PstNode& node, OutputStore& store, IMAPIFolder* folder)
{
    if (GetHeapKind(node) != HeapKind::PropertyContext) {
        SetUsedMark(node, 1);
        return 0;
    }
    context.LogFormatted(StringId::TextRecoverAttachment, GetNodeString(node, PROP_ID(PR_ATTACH_FILENAME)).c_str());
    if (folder == nullptr) return 0;
    try {
        ObjectRef<IMessage> message;
        if (!context.NoteWrite(CreateOutputMessage(folder, false, message))) return 0;
        const bool unicode = context.UnicodeOutput();
        SPropValue messageClass{};
        messageClass.ulPropTag = PR_MESSAGE_CLASS_A;
        messageClass.Value.lpszA = const_cast<char*>(LoadString(StringId::TextDefaultMessageClass));
        TransferProperty(context, node, messageClass, message.Get(), unicode);
        std::u16string subjectText = LooseAttachmentSubject(node);
        SPropValue subject{};
        subject.ulPropTag = PR_SUBJECT_W;
        subject.Value.lpszW = subjectText.data();
        TransferProperty(context, node, subject, message.Get(), unicode);
        context.NoteWrite(SaveKeepOpen(message.Get()));
        context.NoteWrite(SaveKeepOpen(message.Get()));

        uint32_t result = 0;
        if (WriteAttachment(context, node, message.Get())) result = 1;
        if (!context.NoteWrite(SaveFinal(message.Get()))) {
            Unmark(node);
            result = 0;
        }
        message.Reset();
        context.Tally.wrappedAttachments += result;
        CheckOutputSize(context, store);
        return result;
    } catch (...) {
        context.ErrorFormatted(StringId::TextError3, LoadString(StringId::TextMessageProcess));
        return 0;
    }
}

} // namespace krv
