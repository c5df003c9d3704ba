// TrelvLogDialog.h: what the framework needs of the product's save-log dialog: a file
// name and whether the system report goes in front of the log.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVLOGDIALOG_H
#define KRV_FRONTEND_FRAMEWORK_TRELVLOGDIALOG_H

#include <QString>

class TTrelvLogDialog {
public:
    virtual ~TTrelvLogDialog() = default;
    // Shows the dialog; true when the user chose a file.
    virtual bool Execute() = 0;
    virtual bool IncludeSysInfo() const = 0;
    virtual QString FileName() const = 0;
};

#endif
