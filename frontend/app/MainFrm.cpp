// MainFrm.cpp: the product's side of the main window.
#include "frontend/app/MainFrm.h"

#include "ui_MainFrm.h"

#include "frontend/app/DragEdit.h"
#include "frontend/app/MsgFrm.h"
#include "frontend/app/Quorl.h"
#include "frontend/app/RepairText.h"
#include "frontend/app/SearchFrm.h"
#include "frontend/app/Setting.h"
#include "frontend/app/logdlg.h"
#include "frontend/framework/MessageBoxes.h"
#include "frontend/framework/TrelvUtils.h"

#include <QFile>
#include <QIcon>
#include <QStyle>

#include <cstdio>

namespace {

// The engine's "process pending window messages" request; the engine of today sends it
// never, but it is part of the protocol the window answers.
constexpr int32_t kMsgProcessEvents = 56;

QString Link(const QString& text) { return QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()); }

} // namespace

TMainForm::TMainForm(const QString& programName, QWidget* parent)
    : TTrelvMainForm(parent), ui(std::make_unique<Ui::MainForm>()), FProgramName(programName)
{
    ui->setupUi(this);
    FTitle = LoadText(RepairText::TextApplicationTitle);
    FSystemInfo.programVersion = ParseFileVersion(QStringLiteral(KRV_VERSION));
    EngineLibrary engine = LoadedEngineLibrary();
    FSystemInfo.modules.append(ModuleInfo{LoadText(RepairText::InfoEngineLibrary), engine.path, engine.version});
    FSourceAddress = QStringLiteral(KRV_SOURCE_LOCATION);
    FLogDialog = new TSaveLogDialog(this);
    FSaveLogDialog = FLogDialog;
    FSearchForm = new TSearchForm(this, [this] { FormHelp(); });
    FSearchDialog = FSearchForm;

    QIcon logo(QStringLiteral(":/KRVRepair.png"));
    setWindowIcon(logo);
    ui->imgLogo->setPixmap(logo.pixmap(96, 96));
    ui->labHomepage->setText(Link(LoadText(RepairText::TextHelpLink)));
    ui->labSupportCenter->setText(Link(LoadText(RepairText::TextSourceLink).arg(FSourceAddress)));
    ui->btnSrcSearch->setIcon(
        QIcon::fromTheme(QStringLiteral("system-search"), style()->standardIcon(QStyle::SP_FileDialogContentsView)));

    FormCreate();

    connect(ui->txtSrcFile, &TDragEdit::OnDropFile, this, &TMainForm::txtSrcFileDropFile);
    ui->txtSrcFile->SetAcceptFiles(true);
    connect(ui->cmbDstFormat, &QComboBox::currentIndexChanged, this, &TMainForm::cmbDstFormatChange);
    connect(ui->chkSplitOversizePST, &QCheckBox::toggled, this, &TMainForm::chkSplitOversizePSTClick);
}

TMainForm::~TMainForm()
{
    // The window is going away: there is no one left to show a box to.
    try {
        FormDestroy();
    } catch (const SettingsError& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

TSetting& TMainForm::Setting() { return static_cast<TSetting&>(*FSetting); }

void TMainForm::InitOptions()
{
    FRecoveredCount = 0;
    ui->cmbSrcFormat->setCurrentIndex(0);
    ui->cmbDstFormat->setCurrentIndex(0);
    FSetting = std::make_unique<TSetting>(FProgramName);
    TSetting& s = Setting();
    s.LoadSettings();
    ui->chkOpenFixed->setChecked(s.OpenFixed);
    ui->chkFastRecovery->setChecked(s.FastRecovery);
    ui->chkHeuristicRecoverRoot->setChecked(s.HeuristicRecoverRoot);
    ui->chkRecoverUnattchedAttach->setChecked(s.RecoverUnattchedAttach);
    ui->chkSplitOversizePST->setChecked(s.SplitOversizePST);
    ui->txtPSTFileSizeLimit->setValue(s.PSTFileSizeLimit);
    ui->chkIgnoreZeroBlock->setChecked(s.IgnoreZeroBlock);
    ui->chkAlwaysIPMSubtree->setChecked(s.AlwaysIPMSubtree);
    ui->chkRemoveEmptyFolder->setChecked(s.RemoveEmptyFolder);
    ui->chkLevel1Recovery->setChecked(s.Level1Recovery);
    ui->chkLevel2Recovery->setChecked(s.Level2Recovery);
    ui->chkLevel3Recovery->setChecked(s.Level3Recovery);
    ui->chkLevel4Recovery->setChecked(s.Level4Recovery);
    ui->chkLevel5Recovery->setChecked(s.Level5Recovery);
    ui->txtTempDir->setText(s.TempDir);
    ui->txtBufSize->setValue(s.BufSize);
    chkSplitOversizePSTClick();
}

void TMainForm::DoneOptions()
{
    if (!FSetting) return;
    TSetting& s = Setting();
    s.OpenFixed = ui->chkOpenFixed->isChecked();
    s.FastRecovery = ui->chkFastRecovery->isChecked();
    s.HeuristicRecoverRoot = ui->chkHeuristicRecoverRoot->isChecked();
    s.RecoverUnattchedAttach = ui->chkRecoverUnattchedAttach->isChecked();
    s.SplitOversizePST = ui->chkSplitOversizePST->isChecked();
    s.PSTFileSizeLimit = ui->txtPSTFileSizeLimit->value();
    s.IgnoreZeroBlock = ui->chkIgnoreZeroBlock->isChecked();
    s.AlwaysIPMSubtree = ui->chkAlwaysIPMSubtree->isChecked();
    s.RemoveEmptyFolder = ui->chkRemoveEmptyFolder->isChecked();
    s.Level1Recovery = ui->chkLevel1Recovery->isChecked();
    s.Level2Recovery = ui->chkLevel2Recovery->isChecked();
    s.Level3Recovery = ui->chkLevel3Recovery->isChecked();
    s.Level4Recovery = ui->chkLevel4Recovery->isChecked();
    s.Level5Recovery = ui->chkLevel5Recovery->isChecked();
    s.TempDir = ui->txtTempDir->text();
    s.BufSize = ui->txtBufSize->value();
    std::unique_ptr<TTrelvSetting> setting = std::move(FSetting);
    setting->SaveSettings();
}

uint32_t TMainForm::GetRepairFlags()
{
    struct Bit {
        const QCheckBox* box;
        uint32_t mask;
    };
    const Bit bits[] = {
        {ui->chkFastRecovery, FlagFastRecovery},
        {ui->chkHeuristicRecoverRoot, FlagHeuristicRecoverRoot},
        {ui->chkRecoverUnattchedAttach, FlagRecoverUnattchedAttach},
        {ui->chkSplitOversizePST, FlagSplitOversizePST},
        {ui->chkIgnoreZeroBlock, FlagIgnoreZeroBlock},
        {ui->chkAlwaysIPMSubtree, FlagAlwaysIPMSubtree},
        {ui->chkLevel1Recovery, FlagLevel1Recovery},
        {ui->chkLevel2Recovery, FlagLevel2Recovery},
        {ui->chkLevel3Recovery, FlagLevel3Recovery},
        {ui->chkLevel4Recovery, FlagLevel4Recovery},
        {ui->chkLevel5Recovery, FlagLevel5Recovery},
        {ui->chkRemoveEmptyFolder, FlagRemoveEmptyFolder},
    };
    uint32_t flags = 0;
    for (const Bit& bit : bits)
        if (bit.box->isChecked()) flags |= bit.mask;
    flags |= uint32_t(std::max(0, ui->cmbSrcFormat->currentIndex()) & 0xFF) << KRV_SOURCE_FORMAT_SHIFT;
    flags |= uint32_t(std::max(0, ui->cmbDstFormat->currentIndex()) & 0xFF) << KRV_OUTPUT_FORMAT_SHIFT;
    return flags;
}

int32_t TMainForm::RunRepair(const QString& source, const QString& output)
{
    // Both cells live until the engine returns; the paths go in the file system's encoding,
    // the bytes open(2) needs.
    const uint32_t sizeLimit = uint32_t(ui->txtPSTFileSizeLimit->value());
    TTrelvMainForm* windowCell = this;
    const QByteArray sourcePath = QFile::encodeName(source);
    const QByteArray outputPath = QFile::encodeName(output);
    return CallRepairEngine(sourcePath.constData(), &sizeLimit, GetRepairFlags(), outputPath.constData(),
                            &RepairProgressCallback, reinterpret_cast<uintptr_t>(&windowCell));
}

void TMainForm::HandleEngineMessage(int32_t code, const void* payload)
{
    const char* text = static_cast<const char*>(payload);
    switch (code) {
    case MsgError:
        AddLog(SeparatorLine());
        AddLog(FromAnsi(text));
        AddLog(SeparatorLine());
        break;
    case kMsgProcessEvents:
        ProcessPendingEvents();
        break;
    case MsgItemCount:
        if (payload) FRecoveredCount = int32_t(*static_cast<const uint32_t*>(payload));
        break;
    case MsgCloseRequest:
        close();
        break;
    case MsgAlert:
        ShowInformation(this, FromAnsi(text));
        break;
    default:
        break; // the source name and codes of later engines change nothing here
    }
}

QString TMainForm::GetCompletionText()
{
    return LoadText(RepairText::TextCompletion).arg(QString::number(FRecoveredCount), ui->txtSrcFile->text());
}

QDialog* TMainForm::CreateCompletionForm(const QString& text) { return new TMsgForm(this, text); }

void TMainForm::AddSettingInfo(QStringList& lines)
{
    lines << LoadText(RepairText::InfoSettingHeader);
    for (const QCheckBox* box :
         {ui->chkFastRecovery, ui->chkHeuristicRecoverRoot, ui->chkRecoverUnattchedAttach, ui->chkSplitOversizePST})
        lines << CheckBoxLine(box);
    lines << ui->chkSplitOversizePST->text() + u' ' + QString::number(ui->txtPSTFileSizeLimit->value());
    for (const QCheckBox* box :
         {ui->chkIgnoreZeroBlock, ui->chkAlwaysIPMSubtree, ui->chkRemoveEmptyFolder, ui->chkLevel1Recovery,
          ui->chkLevel2Recovery, ui->chkLevel3Recovery, ui->chkLevel4Recovery, ui->chkLevel5Recovery})
        lines << CheckBoxLine(box);
    lines << ui->labTempDir->text() + u' ' + ui->txtTempDir->text();
    lines << ui->labBufSize->text() + u' ' + QString::number(ui->txtBufSize->value());
    lines << SeparatorLine() << LoadText(RepairText::InfoEndOfSetting) << SeparatorLine();
}

void TMainForm::cmbDstFormatChange(int index)
{
    if (index == PstFormatUnicode) ShowWarning(this, LoadText(RepairText::TextOutlook2003Warning));
}

void TMainForm::chkSplitOversizePSTClick()
{
    ui->txtPSTFileSizeLimit->setEnabled(ui->chkSplitOversizePST->isChecked());
}
