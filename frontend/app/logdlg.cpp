// logdlg.cpp: the save-log dialog.
#include "frontend/app/logdlg.h"

#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QCheckBox>
#include <QGridLayout>

TSaveLogDialog::TSaveLogDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters(DialogNameFilters(LoadText(TrelvText::FilterLogs)));
    setDefaultSuffix(QStringLiteral("log"));

    SystemInfoCheckBox = new QCheckBox(LoadText(TrelvText::TextIncludeSysInfo), this);
    SystemInfoCheckBox->setObjectName(QStringLiteral("SystemInfoCheckBox"));
    SystemInfoCheckBox->setToolTip(LoadText(TrelvText::HintIncludeSysInfo));
    SystemInfoCheckBox->setChecked(true);
    // Qt's dialog lays its controls out in a grid; the box goes in a row of its own below.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(SystemInfoCheckBox, grid->rowCount(), 0, 1, -1);
}

bool TSaveLogDialog::Execute() { return exec() == QDialog::Accepted && !selectedFiles().isEmpty(); }

bool TSaveLogDialog::IncludeSysInfo() const { return SystemInfoCheckBox->isChecked(); }

void TSaveLogDialog::SetIncludeSysInfo(bool include) { SystemInfoCheckBox->setChecked(include); }

QString TSaveLogDialog::FileName() const { return selectedFiles().value(0); }
