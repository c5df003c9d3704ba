// Setting.cpp: the table of the repair options: key, default and range of each.
#include "frontend/app/Setting.h"

#include "frontend/app/SpecUtils.h"
#include "frontend/framework/TrelvUtils.h"

TSetting::TSetting(const QString& programName) : TTrelvSetting(programName) {}

QString TSetting::GetDefaultOpenDirectory() const { return GetOutlookDataDirectory(); }

std::vector<SettingValue> TSetting::Values()
{
    return {
        {QStringLiteral("OpenFixed"), &OpenFixed, false},
        {QStringLiteral("FastRecovery"), &FastRecovery, true},
        {QStringLiteral("HeuristicRecoverRoot"), &HeuristicRecoverRoot, false},
        {QStringLiteral("RecoverUnattchedAttach"), &RecoverUnattchedAttach, true},
        {QStringLiteral("SplitOversizePST"), &SplitOversizePST, false},
        {QStringLiteral("PSTFileSizeLimit"), &PSTFileSizeLimit, int32_t(1000), 1, 32767},
        {QStringLiteral("IgnoreZeroBlock"), &IgnoreZeroBlock, true},
        {QStringLiteral("AlwaysIPMSubtree"), &AlwaysIPMSubtree, true},
        {QStringLiteral("RemoveEmptyFolder"), &RemoveEmptyFolder, false},
        {QStringLiteral("Level1Recovery"), &Level1Recovery, true},
        {QStringLiteral("Level2Recovery"), &Level2Recovery, true},
        {QStringLiteral("Level3Recovery"), &Level3Recovery, true},
        {QStringLiteral("Level4Recovery"), &Level4Recovery, true},
        {QStringLiteral("Level5Recovery"), &Level5Recovery, true},
        {QStringLiteral("TempDir"), &TempDir, GetTempDirectory()},
        {QStringLiteral("BufSize"), &BufSize, int32_t(512), 1, 65536},
    };
}

void TSetting::LoadSettings()
{
    TTrelvSetting::LoadSettings();
    LoadTable(Values());
}

void TSetting::SaveSettings()
{
    TTrelvSetting::SaveSettings();
    SaveTable(Values());
}
