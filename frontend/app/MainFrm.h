// MainFrm.h: KRVRepair's main window: the framework's window with the repair options,
// the engine call and the texts of this product.
#ifndef KRV_FRONTEND_APP_MAINFRM_H
#define KRV_FRONTEND_APP_MAINFRM_H

#include "frontend/framework/TrelvMain.h"

#include <cstdint>
#include <memory>

namespace Ui {
class MainForm;
}
class TSetting;
class TSaveLogDialog;
class TSearchForm;

class TMainForm : public TTrelvMainForm {
    Q_OBJECT

public:
    // The program's name names the settings file; tests pass their own.
    explicit TMainForm(const QString& programName = ProgramName(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // The option word for the engine, from the controls as they are now.
    uint32_t GetRepairFlags() override;
    int32_t RecoveredCount() const { return FRecoveredCount; }
    TSaveLogDialog* SaveLogDialog() const { return FLogDialog; }
    TSearchForm* SearchForm() const { return FSearchForm; }

protected:
    void HandleEngineMessage(int32_t code, const void* payload) override;
    bool NeedsOverwriteCheck() override { return true; }
    int32_t RunRepair(const QString& source, const QString& output) override;
    void BeforeRepair() override { FRecoveredCount = 0; }
    void AfterRepair() override { FRecoveredCount = 0; }
    QString GetCompletionText() override;
    QDialog* CreateCompletionForm(const QString& text) override;
    void InitOptions() override;
    void DoneOptions() override;
    void AddSettingInfo(QStringList& lines) override;

private:
    TSetting& Setting();
    void cmbDstFormatChange(int index);
    void chkSplitOversizePSTClick();

    std::unique_ptr<Ui::MainForm> ui;
    QString FProgramName;
    TSaveLogDialog* FLogDialog = nullptr;
    TSearchForm* FSearchForm = nullptr;
    int32_t FRecoveredCount = 0;
};

#endif
