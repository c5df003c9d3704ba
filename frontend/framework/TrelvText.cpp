// TrelvText.cpp: the compiled-in table behind LoadText.
#include "frontend/framework/TrelvText.h"

namespace {

struct Entry {
    TrelvText id;
    const char* text;
};

constexpr Entry kEntries[] = {
#define KRV_UI_STRING(id, name, text) {TrelvText::name, text},
#include "resources/FrameworkStrings.def"
#undef KRV_UI_STRING
};

} // namespace

QString LoadText(TrelvText id)
{
    for (const Entry& e : kEntries)
        if (e.id == id) return QString::fromUtf8(e.text);
    return QString();
}
