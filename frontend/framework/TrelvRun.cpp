// TrelvRun.cpp: the run of a single repair, the engine's messages, the repair log and the
// command line.
#include "frontend/framework/TrelvMain.h"

#include "engine/job/RepairEntry.h"
#include "frontend/framework/ElapsedTime.h"
#include "frontend/framework/MessageBoxes.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

// Pending window events are processed at least this often while the engine writes items
// (it sends no progress then), so that the window keeps repainting and answering.
constexpr qint64 kEventPumpIntervalMs = 50;

// "/O", "-e", "-E": a switch letter; anything else beginning with '-' is an unknown
// switch. A '/' begins a switch only as "/O" or "/E", since it also begins every
// absolute path here.
enum class Argument { Source, SwitchO, SwitchE, OtherSwitch };

Argument Classify(const QString& arg)
{
    if (arg.size() == 2 && (arg[0] == u'-' || arg[0] == u'/')) {
        QChar letter = arg[1].toUpper();
        if (letter == u'O') return Argument::SwitchO;
        if (letter == u'E') return Argument::SwitchE;
    }
    return arg.startsWith(u'-') ? Argument::OtherSwitch : Argument::Source;
}

} // namespace

void TTrelvMainForm::AddLog(const QString& line)
{
    FLog << line;
    txtRepairLog->appendPlainText(line);
}

QStringList TTrelvMainForm::LogLines() const { return FLog; }

void TTrelvMainForm::ProcessPendingEvents()
{
    FLastEventPump.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TTrelvMainForm::SetProgress(int percent)
{
    Gauge->setValue(std::clamp(percent, 0, 100));
    labProgress->setText(LoadText(TrelvText::TextProgress).arg(Gauge->value()));
    labConsumedTime->setText(
        FormatElapsed(LoadText(TrelvText::PatternElapsed), FStartTime.isValid() ? FStartTime.elapsed() : 0));
}

bool TTrelvMainForm::OnMessage(int32_t code, const void* payload)
{
    switch (code) {
    case MsgProgress:
        if (payload) SetProgress(*static_cast<const uint8_t*>(payload));
        ProcessPendingEvents();
        return false;
    case MsgAbortQuery:
        return !FRunning;
    case MsgLogLine: {
        QString text = FromAnsi(static_cast<const char*>(payload));
        AddLog(text == u"-" ? SeparatorLine() : text);
        break;
    }
    default:
        HandleEngineMessage(code, payload);
        break;
    }
    if (!FLastEventPump.isValid() || FLastEventPump.elapsed() >= kEventPumpIntervalMs) ProcessPendingEvents();
    return false;
}

void TTrelvMainForm::SetRunButton(bool running)
{
    btnRepair->setText(LoadText(running ? TrelvText::TextStopRepairButton : TrelvText::TextStartRepairButton));
    btnRepair->setIcon(QIcon::fromTheme(running ? QStringLiteral("process-stop") : QStringLiteral("system-run")));
}

bool TTrelvMainForm::CheckBeforeEngine(const QString& source, const QString& output)
{
    // The engine would wait forever for a writer on a pipe and cannot read a folder;
    // a missing source is left to the engine, which reports it.
    QFileInfo src(source);
    QString problem;
    if (src.exists() && !src.isFile()) {
        problem = LoadText(TrelvText::TextSourceNotAFile).arg(source);
    } else if (QFileInfo(output).isDir()) {
        problem = LoadText(TrelvText::TextOutputIsFolder).arg(output);
    } else {
        QFileInfo folder(QFileInfo(output).absolutePath());
        if (!folder.isDir() || !folder.isWritable())
            problem = LoadText(TrelvText::TextOutputFolderUnusable).arg(output, folder.filePath());
    }
    if (problem.isEmpty()) return true;
    AddLog(SeparatorLine());
    AddLog(problem);
    AddLog(SeparatorLine());
    return false;
}

void TTrelvMainForm::btnRepairClick()
{
    if (FRunning) {
        FRunning = false; // Stop: the engine ends at its next abort query
        return;
    }
    FRunning = true;
    SetRunButton(true);
    FLog.clear();
    txtRepairLog->clear();
    txtRepairLog->repaint();
    BeforeRepair();

    // Read once: the boxes stay editable while the engine runs.
    const QString source = txtSrcFile->text();
    const QString output = txtDstFile->text();
    try {
        struct EndActions {
            TTrelvMainForm* form;
            ~EndActions()
            {
                form->FRunning = false;
                form->SetRunButton(false);
                form->AfterRepair();
            }
        } end{this};

        AddLog(LoadText(TrelvText::TextStartRepair));
        AddLog(SeparatorLine());
        // Writing the output over the source would destroy what is to be repaired.
        if (!source.trimmed().isEmpty() && SameFile(source, output)) {
            QString text = LoadText(TrelvText::TextOutputIsSource).arg(output);
            AddLog(text);
            AddLog(LoadText(TrelvText::TextRepairAborted));
            ShowError(this, text);
            return;
        }
        if (NeedsOverwriteCheck() && QFileInfo::exists(output) &&
            !AskYesNo(this, LoadText(TrelvText::TextOverwriteQuestion).arg(output))) {
            AddLog(LoadText(TrelvText::TextRepairAborted));
            return;
        }
        AddLog(LoadText(TrelvText::TextFileToRepair).arg(source, ThousandsText(qint64(GetFileSize64(source)))));
        AddLog(LoadText(TrelvText::TextOutputAs).arg(output));
        AddLog(SeparatorLine());

        FStartTime.start();
        int32_t result = CheckBeforeEngine(source, output) ? RunRepair(source, output) : 0;

        AddLog(SeparatorLine());
        AddLog(FormatElapsed(LoadText(TrelvText::PatternConsumedTime), FStartTime.elapsed()));
        AddLog(SeparatorLine());
        AddLog(LoadText(TrelvText::TextRepairCompletes));
        AddLog(SeparatorLine());
        ShowFinalText(result, source);
    } catch (const std::exception& e) {
        ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    if (FCloseRequested) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TTrelvMainForm::ShowFinalText(int32_t result, const QString& source)
{
    // A window closed during the run ends without a box once the engine has returned.
    const bool showBox = !FCloseRequested;
    if (FRunning && result != 0) {
        QString text = GetCompletionText();
        AddLog(text);
        if (showBox) {
            std::unique_ptr<QDialog> form(CreateCompletionForm(text));
            form->exec();
        }
    } else {
        QString text =
            FRunning ? LoadText(TrelvText::TextFailToRepair).arg(source) : LoadText(TrelvText::TextUserAborts);
        AddLog(text);
        if (showBox) ShowInformation(this, text);
    }
}

void TTrelvMainForm::closeEvent(QCloseEvent* event)
{
    // The engine's call is still on the stack: stop it and close once it has returned.
    if (FRunning) {
        FCloseRequested = true;
        FRunning = false;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TTrelvMainForm::ProcessCommandLine(const QStringList& arguments)
{
    if (arguments.isEmpty()) return;
    bool openFixed = false, exitAfter = false, haveSource = false;
    QString source;
    for (const QString& arg : arguments) {
        switch (Classify(arg)) {
        case Argument::SwitchO:
            openFixed = true;
            break;
        case Argument::SwitchE:
            exitAfter = true;
            break;
        case Argument::OtherSwitch:
            break;
        case Argument::Source:
            if (!haveSource) source = arg;
            haveSource = true;
            break;
        }
    }
    if (!haveSource || !QFileInfo::exists(source)) {
        ShowError(this, LoadText(TrelvText::TextCannotOpenFile).arg(source));
        return;
    }
    txtSrcFile->setText(QFileInfo(source).absoluteFilePath());
    chkOpenFixed->setChecked(openFixed);
    txtSrcFileChange();
    btnRepairClick();
    if (exitAfter) close();
}
