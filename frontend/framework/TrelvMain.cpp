// TrelvMain.cpp: the main window's set-up, its pages and its file, help and About handlers.
// The run of a repair and the engine's messages are in TrelvRun.cpp.
#include "frontend/framework/TrelvMain.h"

#include "frontend/framework/ElapsedTime.h"
#include "frontend/framework/LogFile.h"
#include "frontend/framework/MessageBoxes.h"
#include "frontend/framework/TrelvLogDialog.h"
#include "frontend/framework/TrelvSearchDialog.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QUrl>

#include <stdexcept>

namespace {

constexpr int kWindowWidth = 765;
constexpr int kWindowHeight = 475;

} // namespace

TTrelvMainForm::TTrelvMainForm(QWidget* parent) : QWidget(parent) {}

TTrelvMainForm::~TTrelvMainForm() = default;

template <typename T>
T* TTrelvMainForm::Bind(const char* name)
{
    T* control = findChild<T*>(QString::fromLatin1(name));
    // A form without one of these controls is a programming error, found by the first test.
    if (!control) throw std::logic_error(std::string("the main form has no control ") + name);
    return control;
}

void TTrelvMainForm::BindControls()
{
    btnRepairTab = Bind<QAbstractButton>("btnRepairTab");
    btnBatchRepairTab = Bind<QAbstractButton>("btnBatchRepairTab");
    btnOptionsTab = Bind<QAbstractButton>("btnOptionsTab");
    btnAboutTab = Bind<QAbstractButton>("btnAboutTab");
    btnSubOptions = Bind<QAbstractButton>("btnSubOptions");
    btnSubAdvOptions = Bind<QAbstractButton>("btnSubAdvOptions");
    MainPages = Bind<QStackedWidget>("MainPages");
    OptionPages = Bind<QStackedWidget>("OptionPages");
    btnHelp = Bind<QPushButton>("btnHelp");
    txtSrcFile = Bind<QLineEdit>("txtSrcFile");
    txtDstFile = Bind<QLineEdit>("txtDstFile");
    btnSrcMore = Bind<QAbstractButton>("btnSrcMore");
    btnSrcSearch = Bind<QAbstractButton>("btnSrcSearch");
    btnDstMore = Bind<QAbstractButton>("btnDstMore");
    cmbSrcFormat = Bind<QComboBox>("cmbSrcFormat");
    cmbDstFormat = Bind<QComboBox>("cmbDstFormat");
    labSrcFormat = Bind<QLabel>("labSrcFormat");
    labDstFormat = Bind<QLabel>("labDstFormat");
    labBatchSrcFormat = Bind<QLabel>("labBatchSrcFormat");
    labBatchDstFormat = Bind<QLabel>("labBatchDstFormat");
    btnRepair = Bind<QPushButton>("btnRepair");
    btnSaveLog = Bind<QPushButton>("btnSaveLog");
    txtRepairLog = Bind<QPlainTextEdit>("txtRepairLog");
    palProgress = Bind<QWidget>("palProgress");
    Gauge = Bind<QProgressBar>("Gauge");
    labProgress = Bind<QLabel>("labProgress");
    labConsumedTime = Bind<QLabel>("labConsumedTime");
    txtTempDir = Bind<QLineEdit>("txtTempDir");
    btnMoreDir = Bind<QAbstractButton>("btnMoreDir");
    chkOpenFixed = Bind<QAbstractButton>("chkOpenFixed");
    labTitle = Bind<QLabel>("labTitle");
    labVersion = Bind<QLabel>("labVersion");
    labHomepage = Bind<QLabel>("labHomepage");
    labSupportCenter = Bind<QLabel>("labSupportCenter");
    imgLogo = Bind<QLabel>("imgLogo");
    FileList = Bind<QTreeWidget>("FileList");
    btnAddFiles = Bind<QPushButton>("btnAddFiles");
    btnSearchFiles = Bind<QPushButton>("btnSearchFiles");
    btnRemoveFiles = Bind<QPushButton>("btnRemoveFiles");
    btnRemoveAll = Bind<QPushButton>("btnRemoveAll");
    btnRepairFiles = Bind<QPushButton>("btnRepairFiles");
    for (const char* slot : {"slotRepairSrcFormat", "slotRepairDstFormat", "slotRepairProgress", "slotBatchSrcFormat",
                             "slotBatchDstFormat", "slotBatchProgress"})
        Bind<QWidget>(slot);
}

void TTrelvMainForm::FormCreate()
{
    BindControls();
    setWindowTitle(FTitle);
    FHelpFile = StripExtension(QCoreApplication::applicationFilePath()) + QStringLiteral(".html");

    // A fixed dialog-like window, centred on the desktop.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kWindowWidth, kWindowHeight);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

    FMainTabs = new QButtonGroup(this);
    int tag = 1;
    for (QAbstractButton* b : {btnRepairTab, btnBatchRepairTab, btnOptionsTab, btnAboutTab}) {
        b->setCheckable(true);
        b->setFocusPolicy(Qt::StrongFocus);
        FMainTabs->addButton(b, tag++);
    }
    FSubTabs = new QButtonGroup(this);
    FSubTabs->addButton(btnSubOptions, 1);
    FSubTabs->addButton(btnSubAdvOptions, 2);
    for (QAbstractButton* b : {btnSubOptions, btnSubAdvOptions}) {
        b->setCheckable(true);
        b->setFocusPolicy(Qt::StrongFocus);
    }

    FFilter = LoadText(TrelvText::FilterStores);
    labProgress->setText(LoadText(TrelvText::TextProgress).arg(0));
    labConsumedTime->setText(FormatElapsed(LoadText(TrelvText::PatternElapsed), 0));

    labTitle->setText(FTitle);
    labVersion->setText(GetFileVersionText(FSystemInfo.programVersion, 2));
    for (QLabel* link : {labHomepage, labSupportCenter, imgLogo}) {
        link->setTextInteractionFlags(Qt::NoTextInteraction);
        link->installEventFilter(this);
    }

    // Each format label leads to its list on its own page; a hidden label's accelerator
    // does nothing, so the four can share the two lists.
    labSrcFormat->setBuddy(cmbSrcFormat);
    labDstFormat->setBuddy(cmbDstFormat);
    labBatchSrcFormat->setBuddy(cmbSrcFormat);
    labBatchDstFormat->setBuddy(cmbDstFormat);

    // Both paths get room; the status takes what is left.
    FileList->setColumnWidth(0, 300);
    FileList->setColumnWidth(1, 300);

    FRunning = false;
    InitOptions();
    btnSubOptions->setChecked(true);
    MainTabChange(1);
    ConnectHandlers();
    UpdateRepairEnabled();
}

void TTrelvMainForm::FormDestroy() { DoneOptions(); }

void TTrelvMainForm::ConnectHandlers()
{
    connect(FMainTabs, &QButtonGroup::idClicked, this, &TTrelvMainForm::MainTabChange);
    connect(FSubTabs, &QButtonGroup::idClicked, this, &TTrelvMainForm::SubTabChange);
    connect(txtSrcFile, &QLineEdit::textChanged, this, &TTrelvMainForm::txtSrcFileChange);
    connect(txtDstFile, &QLineEdit::textChanged, this, &TTrelvMainForm::txtDstFileChange);
    connect(btnSrcMore, &QAbstractButton::clicked, this, &TTrelvMainForm::btnSrcMoreClick);
    connect(btnDstMore, &QAbstractButton::clicked, this, &TTrelvMainForm::btnDstMoreClick);
    connect(btnRepair, &QAbstractButton::clicked, this, &TTrelvMainForm::btnRepairClick);
    connect(btnSaveLog, &QAbstractButton::clicked, this, &TTrelvMainForm::btnSaveLogClick);
    connect(btnHelp, &QAbstractButton::clicked, this, &TTrelvMainForm::FormHelp);
    connect(btnMoreDir, &QAbstractButton::clicked, this, &TTrelvMainForm::btnMoreDirClick);
    connect(btnSrcSearch, &QAbstractButton::clicked, this, &TTrelvMainForm::btnSrcSearchClick);
    connect(btnAddFiles, &QAbstractButton::clicked, this, &TTrelvMainForm::btnAddFilesClick);
    connect(btnSearchFiles, &QAbstractButton::clicked, this, &TTrelvMainForm::btnSearchFilesClick);
    connect(btnRemoveFiles, &QAbstractButton::clicked, this, &TTrelvMainForm::btnRemoveFilesClick);
    connect(btnRemoveAll, &QAbstractButton::clicked, this, &TTrelvMainForm::btnRemoveAllClick);
    connect(btnRepairFiles, &QAbstractButton::clicked, this, &TTrelvMainForm::btnRepairFilesClick);
    FileList->installEventFilter(this);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &TTrelvMainForm::FormHelp);
}

void TTrelvMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TTrelvMainForm::FormShow() { btnRepairTab->setFocus(Qt::OtherFocusReason); }

void TTrelvMainForm::MoveInto(const char* slotName, QWidget* widget)
{
    QWidget* slot = findChild<QWidget*>(QString::fromLatin1(slotName));
    if (widget->parentWidget() != slot) slot->layout()->addWidget(widget);
    widget->show();
}

void TTrelvMainForm::MainTabChange(int tag)
{
    if (tag < 1 || tag > 4) return;
    for (QWidget* w : {static_cast<QWidget*>(cmbSrcFormat), static_cast<QWidget*>(cmbDstFormat), palProgress,
                       static_cast<QWidget*>(btnHelp)})
        w->hide();
    // The format lists and the progress panel are shared by single and batch repair: they
    // move to the page that is shown, so both modes use the same choices.
    if (tag == 1) {
        MoveInto("slotRepairSrcFormat", cmbSrcFormat);
        MoveInto("slotRepairDstFormat", cmbDstFormat);
        MoveInto("slotRepairProgress", palProgress);
    } else if (tag == 2) {
        MoveInto("slotBatchSrcFormat", cmbSrcFormat);
        MoveInto("slotBatchDstFormat", cmbDstFormat);
        MoveInto("slotBatchProgress", palProgress);
    }
    MainPages->setCurrentIndex(tag - 1);
    if (tag == 3) SubTabChange(FSubTabs->checkedId() > 0 ? FSubTabs->checkedId() : 1);
    btnHelp->setVisible(tag != 4);
    FMainTabs->button(tag)->setChecked(true);
}

void TTrelvMainForm::SubTabChange(int tag)
{
    if (tag < 1 || tag > 2) return;
    OptionPages->setCurrentIndex(tag - 1);
    FSubTabs->button(tag)->setChecked(true);
}

void TTrelvMainForm::UpdateRepairEnabled()
{
    btnRepair->setEnabled(!txtSrcFile->text().trimmed().isEmpty() && !txtDstFile->text().trimmed().isEmpty());
}

void TTrelvMainForm::txtSrcFileChange()
{
    UpdateRepairEnabled();
    // An output name the user typed or chose is never replaced. The name filled in here
    // follows the source while it stays as filled in: the box changes with every key, and
    // a name made from the first key typed would be no name the user asked for.
    const QString output = txtDstFile->text();
    const bool ours = !FSuggestedOutput.isEmpty() && output == FSuggestedOutput;
    if (!txtSrcFile->text().trimmed().isEmpty() && (output.trimmed().isEmpty() || ours)) {
        FSuggestedOutput = DefaultOutputName(txtSrcFile->text());
        txtDstFile->setText(FSuggestedOutput);
    } else if (ours && txtSrcFile->text().trimmed().isEmpty()) {
        FSuggestedOutput.clear();
        txtDstFile->clear();
    }
}

void TTrelvMainForm::txtDstFileChange() { UpdateRepairEnabled(); }

void TTrelvMainForm::txtSrcFileDropFile(const QString& path)
{
    if (QFileInfo(path).isDir()) {
        ShowError(this, LoadText(TrelvText::TextDroppedFolder).arg(path));
        return;
    }
    txtSrcFile->setText(path);
}

void TTrelvMainForm::btnSrcMoreClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = DialogNameFilters(FFilter);
    dialog.setNameFilters(filters);
    if (FSetting->OpenFilterIndex >= 1 && FSetting->OpenFilterIndex <= filters.size())
        dialog.selectNameFilter(filters[FSetting->OpenFilterIndex - 1]);
    if (!FSetting->OpenDirectory.isEmpty()) dialog.setDirectory(FSetting->OpenDirectory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString file = dialog.selectedFiles().first();
    FSetting->OpenDirectory = WithTrailingSeparator(QFileInfo(file).absolutePath());
    FSetting->OpenFilterIndex = int32_t(filters.indexOf(dialog.selectedNameFilter()) + 1);
    if (FSetting->OpenFilterIndex < 1) FSetting->OpenFilterIndex = 1;
    txtSrcFile->setText(file);
}

void TTrelvMainForm::btnDstMoreClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = DialogNameFilters(FFilter);
    dialog.setNameFilters(filters);
    // The default extension follows the chosen filter; "All files" adds none.
    auto SaveDialogTypeChange = [&dialog, &filters, this](const QString& filter) {
        QString extension = FilterExtension(FFilter, int(filters.indexOf(filter) + 1));
        dialog.setDefaultSuffix(extension == u"*" ? QString() : extension);
    };
    connect(&dialog, &QFileDialog::filterSelected, &dialog, SaveDialogTypeChange);
    int index =
        FSetting->SaveFilterIndex >= 1 && FSetting->SaveFilterIndex <= filters.size() ? FSetting->SaveFilterIndex : 1;
    dialog.selectNameFilter(filters.value(index - 1));
    SaveDialogTypeChange(filters.value(index - 1));
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    FSetting->SaveFilterIndex = int32_t(std::max<qsizetype>(1, filters.indexOf(dialog.selectedNameFilter()) + 1));
    txtDstFile->setText(dialog.selectedFiles().first());
}

void TTrelvMainForm::btnSrcSearchClick()
{
    if (!FSearchDialog) return;
    const QStringList chosen = FSearchDialog->Execute(false);
    if (!chosen.isEmpty()) txtSrcFile->setText(chosen.first());
}

void TTrelvMainForm::btnMoreDirClick()
{
    QString folder = QFileDialog::getExistingDirectory(this, LoadText(TrelvText::TextSelectTempDir), txtTempDir->text(),
                                                       QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) txtTempDir->setText(folder);
}

void TTrelvMainForm::btnSaveLogClick()
{
    if (!FSaveLogDialog || !FSaveLogDialog->Execute()) return;
    QStringList lines;
    if (FSaveLogDialog->IncludeSysInfo()) {
        lines << SeparatorLine();
        AddSystemInfo(FSystemInfo, lines);
        AddSettingInfo(lines);
    }
    lines << FLog;
    const QString path = FSaveLogDialog->FileName();
    if (!WriteLogFile(path, lines)) ShowError(this, LoadText(TrelvText::TextCannotCreateFile).arg(path));
}

void TTrelvMainForm::FormHelp()
{
    if (!QFileInfo(FHelpFile).isFile()) {
        ShowError(this, LoadText(TrelvText::TextHelpMissing).arg(FHelpFile));
        return;
    }
    OpenAddress(FHelpFile);
}

void TTrelvMainForm::labHomepageClick() { FormHelp(); }

void TTrelvMainForm::labSupportCenterClick() { OpenAddress(FSourceAddress); }

void TTrelvMainForm::imgLogoClick() { OpenAddress(FSourceAddress); }

void TTrelvMainForm::OpenAddress(const QString& address)
{
    // A web address opens in the desktop's browser, a local file or folder with the
    // program the desktop has for it.
    QUrl url = address.contains(QStringLiteral("://")) ? QUrl(address) : QUrl::fromLocalFile(address);
    if (!QDesktopServices::openUrl(url)) ShowError(this, LoadText(TrelvText::TextCannotOpenAddress).arg(address));
}

bool TTrelvMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FileList && event->type() == QEvent::KeyPress && FileListKeyDown(static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == labHomepage)
            labHomepageClick();
        else if (watched == labSupportCenter)
            labSupportCenterClick();
        else if (watched == imgLogo)
            imgLogoClick();
        else
            return QWidget::eventFilter(watched, event);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
