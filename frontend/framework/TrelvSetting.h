// TrelvSetting.h: what every program of the framework keeps between runs (the folder and
// the filters of its file dialogs), and where: one INI file per user and program,
// $XDG_CONFIG_HOME/<program>.conf (~/.config when XDG_CONFIG_HOME is unset or not
// absolute), group "Misc". A product derives from TTrelvSetting and adds its own table.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVSETTING_H
#define KRV_FRONTEND_FRAMEWORK_TRELVSETTING_H

#include "frontend/framework/SettingValue.h"

#include <QString>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

// A failed save: the text says which file could not be written.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString& text);
    const QString& Text() const { return text_; }

private:
    QString text_;
};

// The running program's file name without its extension; the settings file is named
// after it, so copies of the program under other names keep separate settings.
QString ProgramName();

// The settings file of a program.
QString SettingsFilePath(const QString& programName);

class TTrelvSetting {
public:
    virtual ~TTrelvSetting() = default;
    TTrelvSetting(const TTrelvSetting&) = delete;
    TTrelvSetting& operator=(const TTrelvSetting&) = delete;

    // Folder shown first by the source-file dialog (the folder of the last file chosen
    // there, with a trailing '/'), and the 1-based filter indexes of both file dialogs.
    QString OpenDirectory;
    int32_t OpenFilterIndex = 1;
    int32_t SaveFilterIndex = 1;

    virtual QString GetDefaultOpenDirectory() const = 0;
    // Throws SettingsError when the file cannot be written; the file then keeps its
    // previous contents.
    virtual void SaveSettings();
    // Never fails: whatever is missing or unusable takes its default.
    virtual void LoadSettings();

    const QString& FilePath() const { return filePath_; }

protected:
    explicit TTrelvSetting(const QString& programName);

    // Each call opens the file anew, reads or writes one table and closes it.
    void LoadTable(std::span<const SettingValue> values) const;
    void SaveTable(std::span<const SettingValue> values) const;

private:
    std::vector<SettingValue> BaseValues();

    QString filePath_;
};

#endif
