// SettingValue.h: one stored setting as a key, the field it fills, its default and, for
// numbers, its clamp. A settings class lists its values in one table; reading and
// writing go through that table alone, so a key, its default and its range are written
// down once.
//
// Encodings in the file (group "Misc" of the program's settings file):
//   Boolean  "0" or "1"; read as an integer, any nonzero integer is true
//   Integer  decimal text; a text that is not a decimal integer gives the default, a
//            number outside the clamp is pulled into it
//   String   the text itself
#ifndef KRV_FRONTEND_FRAMEWORK_SETTINGVALUE_H
#define KRV_FRONTEND_FRAMEWORK_SETTINGVALUE_H

#include <QString>

#include <cstdint>
#include <limits>
#include <span>
#include <variant>

class IniFile;

struct SettingValue {
    QString key;
    std::variant<bool*, int32_t*, QString*> field;
    std::variant<bool, int32_t, QString> defaultValue;
    int32_t minimum = std::numeric_limits<int32_t>::min();
    int32_t maximum = std::numeric_limits<int32_t>::max();
};

// The group every value lives in.
inline const QString kSettingGroup = QStringLiteral("Misc");

// Fills every field from the file, or with its default.
void ReadSettingValues(const IniFile& file, std::span<const SettingValue> values);

// Stores every field in the file.
void WriteSettingValues(IniFile& file, std::span<const SettingValue> values);

#endif
