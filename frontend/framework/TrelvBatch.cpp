// TrelvBatch.cpp: the Batch Repair page: the list of source files and the run that
// repairs each of them beside itself, with a status per file and a count at the end.
#include "frontend/framework/TrelvMain.h"

#include "frontend/framework/ConfirmOverwrite.h"
#include "frontend/framework/MessageBoxes.h"
#include "frontend/framework/TrelvSearchDialog.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <exception>

namespace {

enum Column { ColSource = 0, ColTarget = 1, ColStatus = 2 };

} // namespace

void TTrelvMainForm::AddFileToList(const QString& path)
{
    for (int i = 0; i < FileList->topLevelItemCount(); ++i)
        if (FileList->topLevelItem(i)->text(ColSource) == path) return;
    FileList->addTopLevelItem(
        new QTreeWidgetItem(QStringList{path, QString(), LoadText(TrelvText::StatusNotRepaired)}));
}

void TTrelvMainForm::btnAddFilesClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    const QStringList filters = DialogNameFilters(FFilter);
    dialog.setNameFilters(filters);
    if (FSetting->OpenFilterIndex >= 1 && FSetting->OpenFilterIndex <= filters.size())
        dialog.selectNameFilter(filters[FSetting->OpenFilterIndex - 1]);
    // The folder the Repair page's browse chose last; choosing here does not change it.
    if (!FSetting->OpenDirectory.isEmpty()) dialog.setDirectory(FSetting->OpenDirectory);
    if (dialog.exec() != QDialog::Accepted) return;
    FSetting->OpenFilterIndex = int32_t(std::max<qsizetype>(1, filters.indexOf(dialog.selectedNameFilter()) + 1));
    for (const QString& file : dialog.selectedFiles()) AddFileToList(file);
}

void TTrelvMainForm::btnSearchFilesClick()
{
    if (!FSearchDialog) return;
    for (const QString& path : FSearchDialog->Execute(true)) AddFileToList(path);
}

void TTrelvMainForm::btnRemoveFilesClick()
{
    if (FBatchRunning) return;
    for (int i = FileList->topLevelItemCount() - 1; i >= 0; --i)
        if (FileList->topLevelItem(i)->isSelected()) delete FileList->takeTopLevelItem(i);
}

void TTrelvMainForm::btnRemoveAllClick()
{
    if (FBatchRunning) return;
    FileList->clear();
}

bool TTrelvMainForm::FileListKeyDown(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Delete) return false;
    if (event->modifiers() & Qt::ShiftModifier)
        btnRemoveAllClick();
    else
        btnRemoveFilesClick();
    return true;
}

void TTrelvMainForm::SetBatchRunning(bool running)
{
    FBatchRunning = running;
    btnRepairFiles->setText(LoadText(running ? TrelvText::TextStopRepairButton : TrelvText::TextStartRepairButton));
    btnRepairFiles->setIcon(QIcon::fromTheme(running ? QStringLiteral("process-stop") : QStringLiteral("system-run")));
    // The run holds on to its rows while the engine works on one of them.
    btnRemoveFiles->setEnabled(!running);
    btnRemoveAll->setEnabled(!running);
}

int32_t TTrelvMainForm::RepairBatchFile(const QString& source, const QString& output)
{
    // The same checks as the single repair: a folder found by the search, a pipe, an
    // output whose folder cannot be written, or an output that is the source itself
    // through a link fail here instead of in the engine.
    if (SameFile(source, output)) {
        AddLog(SeparatorLine());
        AddLog(LoadText(TrelvText::TextOutputIsSource).arg(output));
        AddLog(SeparatorLine());
        return 0;
    }
    return CheckBeforeEngine(source, output) ? RunRepair(source, output) : 0;
}

void TTrelvMainForm::btnRepairFilesClick()
{
    if (FRunning) {
        FRunning = false; // Stop: the engine ends at its next abort query
        return;
    }
    if (FileList->topLevelItemCount() == 0) {
        ShowInformation(this, LoadText(TrelvText::TextAddFilesFirst));
        return;
    }
    FRunning = true;
    SetBatchRunning(true);
    FLog.clear();
    txtRepairLog->clear();
    OverwriteChoices choices;
    FStartTime.start();
    for (int i = 0; i < FileList->topLevelItemCount(); ++i) {
        FileList->topLevelItem(i)->setText(ColTarget, QString());
        FileList->topLevelItem(i)->setText(ColStatus, LoadText(TrelvText::StatusNotRepaired));
    }

    try {
        struct EndActions {
            TTrelvMainForm* form;
            ~EndActions()
            {
                form->FRunning = false;
                form->SetBatchRunning(false);
                form->FLog.clear();
                form->txtRepairLog->clear();
            }
        } end{this};

        const OverwriteQuestion ask = [this](const QString& text) { return AskOverwrite(this, text); };
        int successes = 0;
        // Rows added while the run goes on (Add Files stays usable) are repaired too.
        for (int i = 0; i < FileList->topLevelItemCount() && FRunning; ++i) {
            QTreeWidgetItem* row = FileList->topLevelItem(i);
            const QString source = row->text(ColSource);
            const QString output = DefaultOutputName(source);
            row->setText(ColTarget, output);
            const bool ok = ConfirmOverwrite(output, ask, choices);
            if (choices.cancel) break;
            if (!ok) continue;
            const int32_t result = RepairBatchFile(source, output);
            if (result != 0) {
                row->setText(ColStatus, LoadText(TrelvText::StatusSuccessful));
                ++successes;
            } else {
                row->setText(ColStatus, LoadText(FRunning ? TrelvText::StatusFailed : TrelvText::StatusAborted));
            }
        }
        // A window closed during the run ends without the box once the engine has returned.
        if (!FCloseRequested) ShowInformation(this, LoadText(TrelvText::TextFilesRepaired).arg(successes));
    } catch (const std::exception& e) {
        ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    if (FCloseRequested) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}
