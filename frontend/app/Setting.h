// Setting.h: KRVRepair's settings: the repair options on top of the framework's dialog
// settings, kept in the same file and group.
#ifndef KRV_FRONTEND_APP_SETTING_H
#define KRV_FRONTEND_APP_SETTING_H

#include "frontend/framework/TrelvSetting.h"

#include <cstdint>
#include <vector>

class TSetting : public TTrelvSetting {
public:
    // The program's name names the settings file; tests pass their own.
    explicit TSetting(const QString& programName = ProgramName());

    bool OpenFixed = false;
    bool FastRecovery = true;
    bool HeuristicRecoverRoot = false;
    bool RecoverUnattchedAttach = true;
    bool SplitOversizePST = false;
    int32_t PSTFileSizeLimit = 1000; // megabytes, 1 to 32767
    bool IgnoreZeroBlock = true;
    bool AlwaysIPMSubtree = true;
    bool RemoveEmptyFolder = false;
    bool Level1Recovery = true;
    bool Level2Recovery = true;
    bool Level3Recovery = true;
    bool Level4Recovery = true;
    bool Level5Recovery = true;
    QString TempDir;
    int32_t BufSize = 512; // bytes, 1 to 65536

    QString GetDefaultOpenDirectory() const override;
    void SaveSettings() override;
    void LoadSettings() override;

private:
    std::vector<SettingValue> Values();
};

#endif
