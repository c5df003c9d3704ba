// PropertyTransfer.cpp: types, named-property identifiers, string forms and objects on their
// way into the output.
#include "engine/recovery/PropertyTransfer.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/PropertyValue.h"
#include "engine/output/DestinationObjects.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/ObjectTempFile.h"
#include "engine/recovery/TextConversion.h"
#include "platform/mapi/PropTags.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace krv {
namespace {

constexpr uint16_t kFirstNamedId = 0x8000;
constexpr ULONG kHtmlBodyId = 0x1013;

// Strings of the call, kept alive until the value has been written.
struct ConvertedStrings {
    std::u16string wide;
    std::string narrow;
    std::vector<std::u16string> wideList;
    std::vector<LPWSTR> widePointers;
};

// Turns value's strings into the output's form. 8-bit text is read in the code page of
// the message being written; multi-valued 8-bit strings only need this when that is not
// the configured code page, in which the output store converts them itself.
void ConvertStrings(const RecoveryContext& context, SPropValue& value, bool unicode, ConvertedStrings& buffers)
{
    const ULONG type = PROP_TYPE(value.ulPropTag);
    if (type == PT_STRING8 && unicode) {
        value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_UNICODE);
        if (value.Value.lpszA != nullptr) {
            buffers.wide = AnsiToWide(value.Value.lpszA, context.TextCodePage);
            value.Value.lpszW = buffers.wide.data();
        }
    } else if (type == PT_UNICODE && !unicode) {
        value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_STRING8);
        if (value.Value.lpszW != nullptr) {
            buffers.narrow = WideToAnsi(value.Value.lpszW);
            value.Value.lpszA = buffers.narrow.data();
        }
    } else if (context.TextCodePage != AnsiCodePage() && type == PT_MV_STRING8 && unicode) {
        const SLPSTRArray& list = value.Value.MVszA;
        for (ULONG i = 0; i < list.cValues; ++i)
            buffers.wideList.push_back(list.lppszA[i] ? AnsiToWide(list.lppszA[i], context.TextCodePage) : u"");
        for (std::u16string& text : buffers.wideList) buffers.widePointers.push_back(text.data());
        value.ulPropTag = CHANGE_PROP_TYPE(value.ulPropTag, PT_MV_UNICODE);
        value.Value.MVszW.cValues = list.cValues;
        value.Value.MVszW.lppszW = buffers.widePointers.data();
    }
}

// An OLE object's bytes through a temporary file into the attachment's storage.
bool TransferOleStorage(const std::vector<uint8_t>& bytes, ULONG tag, IMAPIProp* destination)
{
    std::optional<TempFile> file = MakeTempFileName();
    if (!file) return false;
    if (!WriteTempFile(file->Path(), bytes)) return false;
    auto* attachment = static_cast<IAttach*>(destination);
    return WriteStorageProperty(attachment, tag, file->Path());
}

} // namespace

bool IsTransferredType(ULONG type)
{
    switch (type) {
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_BOOLEAN:
    case PT_OBJECT:
    case PT_I8:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_SYSTIME:
    case PT_CLSID:
    case PT_BINARY:
    case PT_MV_I2:
    case PT_MV_LONG:
    case PT_MV_R4:
    case PT_MV_DOUBLE:
    case PT_MV_CURRENCY:
    case PT_MV_APPTIME:
    case PT_MV_I8:
    case PT_MV_STRING8:
    case PT_MV_UNICODE:
    case PT_MV_SYSTIME:
    case PT_MV_CLSID:
    case PT_MV_BINARY:
        return true;
    default:
        return false;
    }
}

bool TransferProperty(RecoveryContext& context, const PstNode& node, const SPropValue& entry, IMAPIProp* destination,
                      bool unicode)
{
    if (destination == nullptr) return false;
    if (!IsTransferredType(BaseType(entry.ulPropTag))) return false;

    SPropValue value = entry;
    const ULONG id = PROP_ID(value.ulPropTag);
    if (id >= kFirstNamedId) {
        const auto mapped = context.NamedPropMap.find(id);
        if (mapped == context.NamedPropMap.end()) return false;
        value.ulPropTag = PROP_TAG(PROP_TYPE(value.ulPropTag), mapped->second);
    }

    // An HTML body names its character set inside the document, so its bytes must stay
    // as they are: an 8-bit HTML string goes as PR_HTML, the binary form mail clients
    // keep, never re-encoded into UTF-16.
    if (value.ulPropTag == PROP_TAG(PT_STRING8, kHtmlBodyId)) {
        value.ulPropTag = PROP_TAG(PT_BINARY, kHtmlBodyId);
        const char* text = entry.Value.lpszA != nullptr ? entry.Value.lpszA : "";
        value.Value.bin.cb = static_cast<ULONG>(std::strlen(text));
        value.Value.bin.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(text));
    }

    ConvertedStrings buffers;
    ConvertStrings(context, value, unicode, buffers);

    if (value.ulPropTag == PR_RTF_IN_SYNC) return true;
    if (PROP_TYPE(value.ulPropTag) == PT_OBJECT) return TransferObjectProperty(context, node, value, destination);
    return context.NoteWrite(SetOneProperty(destination, value));
}

bool TransferObjectProperty(RecoveryContext& context, const PstNode& node, const SPropValue& value,
                            IMAPIProp* destination)
{
    if (destination == nullptr) return false;
    const uint32_t objectNid = value.Value.ul;
    PstNode* object = node.subnodes.FindCurrent(objectNid);
    if (object == nullptr) return false;
    // An embedded message is a property context; an OLE object's compound file never
    // reads as one (its fourth byte is 0xE0).
    if (GetHeapKind(*object) == HeapKind::PropertyContext) return RecoverEmbeddedMessage(context, *object, destination);
    std::vector<uint8_t> bytes;
    if (!ReadSubnodeData(node.subnodes, objectNid, bytes)) return false;
    return TransferOleStorage(bytes, value.ulPropTag, destination);
}

bool CopyNodeProperties(RecoveryContext& context, const PstNode& node, IMAPIProp* destination, bool* objectWritten)
{
    if (objectWritten != nullptr) *objectWritten = false;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(node, count, props)) return false;
    const MapiPtr<SPropValue> owned(props);
    const bool unicode = context.UnicodeOutput();
    for (ULONG i = 0; i < count; ++i) {
        const bool written = TransferProperty(context, node, props[i], destination, unicode);
        if (written && objectWritten != nullptr && PROP_TYPE(props[i].ulPropTag) == PT_OBJECT) *objectWritten = true;
    }
    if (count > 0) context.NoteWrite(SaveKeepOpen(destination));
    return count > 0;
}

} // namespace krv
