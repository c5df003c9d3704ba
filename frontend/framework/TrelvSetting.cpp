// TrelvSetting.cpp: the framework's settings and the settings file.
#include "frontend/framework/TrelvSetting.h"

#include "frontend/framework/IniFile.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

SettingsError::SettingsError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}

QString ProgramName() { return StripExtension(QFileInfo(QCoreApplication::applicationFilePath()).fileName()); }

QString SettingsFilePath(const QString& programName)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return WithTrailingSeparator(base) + programName + QStringLiteral(".conf");
}

TTrelvSetting::TTrelvSetting(const QString& programName) : filePath_(SettingsFilePath(programName)) {}

std::vector<SettingValue> TTrelvSetting::BaseValues()
{
    return {
        {QStringLiteral("OpenDirectory"), &OpenDirectory, GetDefaultOpenDirectory()},
        {QStringLiteral("OpenFilterIndex"), &OpenFilterIndex, int32_t(1), 1},
        {QStringLiteral("SaveFilterIndex"), &SaveFilterIndex, int32_t(1), 1},
    };
}

void TTrelvSetting::LoadSettings() { LoadTable(BaseValues()); }

void TTrelvSetting::SaveSettings() { SaveTable(BaseValues()); }

void TTrelvSetting::LoadTable(std::span<const SettingValue> values) const
{
    ReadSettingValues(IniFile::Load(filePath_), values);
}

void TTrelvSetting::SaveTable(std::span<const SettingValue> values) const
{
    // Values of other tables, and values we only read, stay as they are in the file.
    IniFile file = IniFile::Load(filePath_);
    WriteSettingValues(file, values);
    if (!file.Save(filePath_)) throw SettingsError(LoadText(TrelvText::TextFailedCreateKey).arg(filePath_));
}
