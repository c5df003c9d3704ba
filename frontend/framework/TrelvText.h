// TrelvText.h: the framework's user-visible texts (resources/FrameworkStrings.def) by id.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVTEXT_H
#define KRV_FRONTEND_FRAMEWORK_TRELVTEXT_H

#include <QString>

enum class TrelvText : int {
#define KRV_UI_STRING(id, name, text) name = id,
#include "resources/FrameworkStrings.def"
#undef KRV_UI_STRING
};

// The text for an id (empty for an id the table does not hold).
QString LoadText(TrelvText id);

#endif
