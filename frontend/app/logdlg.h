// logdlg.h: the save dialog of the repair log, with the "Include System Information" box
// below the file controls. It is Qt's own file dialog, since a desktop's native dialog
// takes no extra controls; the box keeps its state for as long as the dialog lives.
#ifndef KRV_FRONTEND_APP_LOGDLG_H
#define KRV_FRONTEND_APP_LOGDLG_H

#include "frontend/framework/TrelvLogDialog.h"

#include <QFileDialog>

class QCheckBox;

class TSaveLogDialog : public QFileDialog, public TTrelvLogDialog {
    Q_OBJECT

public:
    explicit TSaveLogDialog(QWidget* parent);

    bool Execute() override;
    bool IncludeSysInfo() const override;
    void SetIncludeSysInfo(bool include);
    QString FileName() const override;

    QCheckBox* SystemInfoCheckBox = nullptr;
};

#endif
