// RepairText.cpp: the compiled-in table behind LoadText(RepairText).
#include "frontend/app/RepairText.h"

namespace {

struct Entry {
    RepairText id;
    const char* text;
};

constexpr Entry kEntries[] = {
#define KRV_UI_STRING(id, name, text) {RepairText::name, text},
#include "resources/RepairStrings.def"
#undef KRV_UI_STRING
};

} // namespace

QString LoadText(RepairText id)
{
    for (const Entry& e : kEntries)
        if (e.id == id) return QString::fromUtf8(e.text);
    return QString();
}
