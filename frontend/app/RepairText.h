// RepairText.h: KRVRepair's own user-visible texts (resources/RepairStrings.def) by id.
#ifndef KRV_FRONTEND_APP_REPAIRTEXT_H
#define KRV_FRONTEND_APP_REPAIRTEXT_H

#include <QString>

enum class RepairText : int {
#define KRV_UI_STRING(id, name, text) name = id,
#include "resources/RepairStrings.def"
#undef KRV_UI_STRING
};

QString LoadText(RepairText id);

#endif
