// MessageBoxes.h: the framework's modal boxes, each with its title, icon and buttons.
#ifndef KRV_FRONTEND_FRAMEWORK_MESSAGEBOXES_H
#define KRV_FRONTEND_FRAMEWORK_MESSAGEBOXES_H

#include "frontend/framework/ConfirmOverwrite.h"

#include <QString>

class QWidget;

void ShowInformation(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);
// True for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// The overwrite question of a batch run: Yes, No, Cancel, No to All, Yes to All.
OverwriteAnswer AskOverwrite(QWidget* parent, const QString& text);

#endif
