// SettingValue.cpp: reading and writing one table of settings.
#include "frontend/framework/SettingValue.h"

#include "frontend/framework/IniFile.h"

#include <algorithm>
#include <optional>

namespace {

std::optional<int64_t> DecimalInteger(const QString& text)
{
    bool ok = false;
    qlonglong n = text.trimmed().toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return n;
}

struct Reader {
    const SettingValue& value;
    std::optional<QString> stored;

    void operator()(bool* field) const
    {
        std::optional<int64_t> n = stored ? DecimalInteger(*stored) : std::nullopt;
        *field = n ? *n != 0 : std::get<bool>(value.defaultValue);
    }
    void operator()(int32_t* field) const
    {
        std::optional<int64_t> n = stored ? DecimalInteger(*stored) : std::nullopt;
        int64_t v = n ? *n : std::get<int32_t>(value.defaultValue);
        *field = int32_t(std::clamp<int64_t>(v, value.minimum, value.maximum));
    }
    void operator()(QString* field) const { *field = stored ? *stored : std::get<QString>(value.defaultValue); }
};

struct Writer {
    const SettingValue& value;

    QString operator()(bool* field) const { return *field ? QStringLiteral("1") : QStringLiteral("0"); }
    QString operator()(int32_t* field) const
    {
        return QString::number(std::clamp(*field, value.minimum, value.maximum));
    }
    QString operator()(QString* field) const { return *field; }
};

} // namespace

void ReadSettingValues(const IniFile& file, std::span<const SettingValue> values)
{
    for (const SettingValue& value : values)
        std::visit(Reader{value, file.Value(kSettingGroup, value.key)}, value.field);
}

void WriteSettingValues(IniFile& file, std::span<const SettingValue> values)
{
    for (const SettingValue& value : values)
        file.SetValue(kSettingGroup, value.key, std::visit(Writer{value}, value.field));
}
