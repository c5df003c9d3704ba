// TrelvSearchDialog.h: what the framework needs of the product's search window: the paths
// of the files the user chose among the results.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVSEARCHDIALOG_H
#define KRV_FRONTEND_FRAMEWORK_TRELVSEARCHDIALOG_H

#include <QStringList>

class TTrelvSearchDialog {
public:
    virtual ~TTrelvSearchDialog() = default;
    // Shows the window modally, letting the user select one result or several; the paths
    // of the selected results in the list's order when the user pressed OK, else nothing.
    virtual QStringList Execute(bool multiSelect) = 0;
};

#endif
