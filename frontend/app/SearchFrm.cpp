// SearchFrm.cpp: the search window.
#include "frontend/app/SearchFrm.h"

#include "ui_SearchFrm.h"

#include "frontend/app/RepairText.h"
#include "frontend/framework/ElapsedTime.h"
#include "frontend/framework/MessageBoxes.h"
#include "frontend/framework/MountTable.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <QShortcut>

#include <algorithm>

namespace {

constexpr int kWidth = 765, kHeight = 505;
constexpr int kMinWidth = 757, kMinHeight = 497;
constexpr int kAdvPanelHeight = 131;
constexpr int kAdvPanelShift = 65; // half the panel: the window grows about its middle
constexpr int kTimerIntervalMs = 60000;

enum Column { ColName, ColDirectory, ColSize, ColCreated, ColAccessed, ColModified };

QString DateTimeText(const QDateTime& time) { return QLocale::system().toString(time, QLocale::ShortFormat); }

} // namespace

void EnableChildren(QWidget* container, bool enabled)
{
    for (QWidget* child : container->findChildren<QWidget*>()) child->setEnabled(enabled);
}

TSearchForm::TSearchForm(QWidget* parent, std::function<void()> help)
    : QDialog(parent), ui(std::make_unique<Ui::SearchForm>()), FHelp(std::move(help))
{
    ui->setupUi(this);
    FormCreate();
}

TSearchForm::~TSearchForm() = default;

QString TSearchForm::LocalHarddrivesText() const
{
    return LoadText(RepairText::TextLocalHarddrives).arg(FFixedDriveList);
}

void TSearchForm::FormCreate()
{
    setModal(true);
    setWindowTitle(LoadText(RepairText::TextSearchTitle));
    ui->labHeader->setText(LoadText(RepairText::TextSearchTitle));
    resize(kWidth, kHeight);
    setMinimumSize(kMinWidth, kMinHeight);
    if (QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen())
        move(screen->availableGeometry().center() - rect().center());

    connect(&FSearch, &FileSearch::EntryFound, this, &TSearchForm::lfFound);
    connect(&FSearch, &FileSearch::FolderEntered, this, &TSearchForm::lfDirChange);
    connect(&FSearch, &FileSearch::Finished, this, &TSearchForm::lfFinished);
    connect(&FSearch, &FileSearch::Cancelled, this, &TSearchForm::lfCancel);
    connect(&FSearch, &FileSearch::Ended, this, &TSearchForm::lfEnd);

    // The filter's entries: a description and its patterns.
    const QStringList filter = LoadText(RepairText::FilterSearch).split(u'|');
    for (qsizetype i = 0; i + 1 < filter.size(); i += 2) ui->cmbFileName->addItem(filter[i], filter[i + 1]);
    ui->cmbFileName->setCurrentIndex(0);

    FFixedDriveList = LocalDiskMountPoints(ReadMountTable()).join(u';');
    ui->cmbDirectory->addItem(LocalHarddrivesText());
    ui->cmbDirectory->setCurrentIndex(0);

    // The panel starts closed; its criteria stay in force while it is closed.
    ui->palAdvOptions->setEnabled(false);
    ui->palAdvOptions->setFixedHeight(kAdvPanelHeight);
    ui->palAdvOptions->hide();
    ui->btnAdvOptions->setText(LoadText(RepairText::TextShowAdvanced));
    for (QGroupBox* group : {ui->gbFileSize, ui->gbFileAttr, ui->gbFileTime})
        connect(group, &QGroupBox::toggled, this, &TSearchForm::SetAdvOptControls);
    for (QCheckBox* box : {ui->chkFileMinSize, ui->chkFileMaxSize, ui->chkFileCreatedTime, ui->chkFileLastAccessedTime,
                           ui->chkFileModifiedTime})
        connect(box, &QCheckBox::toggled, this, &TSearchForm::SetAdvOptControls);
    SetAdvOptControls();

    ui->fl->header()->setStretchLastSection(false);
    ui->fl->setColumnWidth(ColName, 110);
    ui->fl->setColumnWidth(ColDirectory, 170);
    ui->fl->setColumnWidth(ColSize, 80);
    for (int c : {ColCreated, ColAccessed, ColModified}) ui->fl->setColumnWidth(c, 125);
    ClearSearchResults();

    ui->btnSearch->setIcon(QIcon::fromTheme(QStringLiteral("system-search")));
    FTimer.setInterval(kTimerIntervalMs);
    connect(&FTimer, &QTimer::timeout, this, &TSearchForm::TimerTimer);
    FTimer.stop();
    FSearching = false;
    FReportCancel = true;

    connect(ui->btnSearch, &QAbstractButton::clicked, this, &TSearchForm::btnSearchClick);
    connect(ui->btnSelectDir, &QAbstractButton::clicked, this, &TSearchForm::btnSelectDirClick);
    connect(ui->btnAdvOptions, &QAbstractButton::clicked, this, &TSearchForm::btnAdvOptionsClick);
    connect(ui->btnOK, &QAbstractButton::clicked, this, &TSearchForm::btnOKClick);
    connect(ui->btnCancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(ui->btnHelp, &QAbstractButton::clicked, this, [this] { FHelp(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { FHelp(); });
}

QStringList TSearchForm::Execute(bool multiSelect)
{
    ui->fl->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    if (!multiSelect && ui->fl->selectedItems().size() > 1) ui->fl->clearSelection();
    FTag = 0;
    exec();
    QStringList paths;
    if (FTag != 1) return paths;
    for (int i = 0; i < ui->fl->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ui->fl->topLevelItem(i);
        if (row->isSelected()) paths << WithTrailingSeparator(row->text(ColDirectory)) + row->text(ColName);
    }
    return paths;
}

SearchRequest TSearchForm::BuildRequest() const
{
    SearchRequest r;
    r.masks = ui->cmbFileName->currentData().toString();
    const QString folders = ui->cmbDirectory->currentText();
    r.folders = folders == LocalHarddrivesText() ? FFixedDriveList : folders;
    r.recurse = ui->RecurseSubDirs->isChecked();
    if (ui->gbFileSize->isChecked()) {
        if (ui->chkFileMinSize->isChecked()) r.minSize = qint64(ui->txtMinSize->value()) * 1024;
        if (ui->chkFileMaxSize->isChecked()) r.maxSize = qint64(ui->txtMaxSize->value()) * 1024;
    }
    if (ui->gbFileAttr->isChecked()) {
        if (ui->chkFileReadOnlyAttr->isChecked()) r.attributes |= AttrReadOnly;
        if (ui->chkFileHiddenAttr->isChecked()) r.attributes |= AttrHidden;
        if (ui->chkFileSystemAttr->isChecked()) r.attributes |= AttrSystem;
        if (ui->chkFileArchiveAttr->isChecked()) r.attributes |= AttrArchive;
    }
    if (ui->gbFileTime->isChecked()) {
        r.checkCreated = ui->chkFileCreatedTime->isChecked();
        r.checkAccessed = ui->chkFileLastAccessedTime->isChecked();
        r.checkModified = ui->chkFileModifiedTime->isChecked();
    }
    const QDateTime now = QDateTime::currentDateTime();
    r.createdSince = now.addDays(-ui->txtFileCreatedTime->value());
    r.accessedSince = now.addDays(-ui->txtFileLastAccessedTime->value());
    r.modifiedSince = now.addDays(-ui->txtFileModifiedTime->value());
    return r;
}

void TSearchForm::btnSearchClick()
{
    if (FSearching) {
        FReportCancel = true;
        FSearch.Cancel();
        return;
    }
    const SearchRequest request = BuildRequest();
    ui->btnSearch->setText(LoadText(RepairText::TextStopSearch));
    ui->btnSearch->setIcon(QIcon::fromTheme(QStringLiteral("process-stop")));
    ClearSearchResults();
    FStartTime.start();
    FTimer.start();
    FReportCancel = true;
    FSearching = true;
    ui->Gauge->setRange(0, 0); // busy
    FSearch.Run(request);
}

void TSearchForm::ClearSearchResults()
{
    ui->fl->clear();
    ui->labProgress->setText(LoadText(RepairText::TextFilesFound).arg(0));
    ui->labDir->clear();
    ui->labConsumedTime->setText(FormatElapsed(LoadText(TrelvText::PatternElapsed), 0));
}

void TSearchForm::lfFound(const FoundEntry& entry)
{
    ui->fl->addTopLevelItem(new QTreeWidgetItem(QStringList{entry.name, entry.folder, QString::number(entry.size),
                                                            DateTimeText(entry.created), DateTimeText(entry.accessed),
                                                            DateTimeText(entry.modified)}));
    ui->labProgress->setText(LoadText(RepairText::TextFilesFound).arg(ui->fl->topLevelItemCount()));
}

void TSearchForm::lfDirChange(const QString& folder)
{
    ui->labDir->setText(LoadText(RepairText::TextSearchIn).arg(folder));
}

void TSearchForm::EndSearchDisplay()
{
    ui->btnSearch->setText(LoadText(RepairText::TextStartSearch));
    ui->btnSearch->setIcon(QIcon::fromTheme(QStringLiteral("system-search")));
    FTimer.stop();
    ui->labDir->clear();
    FSearching = false;
    ui->Gauge->setRange(0, 1);
    ui->Gauge->setValue(0);
    // Date texts differ in length from one locale to the next.
    if (ui->fl->topLevelItemCount() > 0)
        for (int c : {ColCreated, ColAccessed, ColModified}) ui->fl->resizeColumnToContents(c);
}

void TSearchForm::lfFinished()
{
    EndSearchDisplay();
    ShowInformation(this, LoadText(RepairText::TextSearchCompleted).arg(ui->fl->topLevelItemCount()));
}

void TSearchForm::lfCancel()
{
    EndSearchDisplay();
    if (FReportCancel) ShowInformation(this, LoadText(RepairText::TextSearchCancelled));
}

void TSearchForm::lfEnd() { EndSearchDisplay(); }

void TSearchForm::TimerTimer()
{
    if (FSearching)
        ui->labConsumedTime->setText(FormatElapsed(LoadText(TrelvText::PatternElapsed), FStartTime.elapsed()));
}

void TSearchForm::done(int result)
{
    if (FSearching) {
        if (!AskYesNo(this, LoadText(RepairText::TextCancelSearch))) return;
        FReportCancel = false;
        FSearch.Cancel();
    }
    QDialog::done(result);
}

void TSearchForm::btnOKClick()
{
    if (ui->fl->selectedItems().isEmpty()) {
        ShowError(this, LoadText(RepairText::TextSelectFoundFiles));
        return;
    }
    FTag = 1;
    done(QDialog::Accepted);
    // The user chose to let a running search go on: the window stays, and nothing is
    // handed over by a later Cancel.
    if (isVisible()) FTag = 0;
}

void TSearchForm::btnSelectDirClick()
{
    const QString current = ui->cmbDirectory->currentText();
    const QString start = QFileInfo(current).isDir() ? current : QString();
    const QString folder = QFileDialog::getExistingDirectory(this, QString(), start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    ui->cmbDirectory->setCurrentIndex(-1);
    ui->cmbDirectory->setEditText(folder);
}

void TSearchForm::btnAdvOptionsClick()
{
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    if (ui->palAdvOptions->isVisible()) {
        ui->palAdvOptions->setEnabled(false);
        ui->palAdvOptions->hide();
        setMinimumHeight(minimumHeight() - kAdvPanelHeight);
        resize(width(), height() - kAdvPanelHeight);
        int y = pos().y() + kAdvPanelShift;
        if (!screen.isNull()) y = std::min(y, screen.bottom() - frameGeometry().height());
        move(pos().x(), std::max(y, pos().y()));
        ui->btnAdvOptions->setText(LoadText(RepairText::TextShowAdvanced));
    } else {
        ui->palAdvOptions->setEnabled(true);
        ui->palAdvOptions->show();
        resize(width(), height() + kAdvPanelHeight);
        move(pos().x(), std::max(0, pos().y() - kAdvPanelShift));
        setMinimumHeight(minimumHeight() + kAdvPanelHeight);
        ui->btnAdvOptions->setText(LoadText(RepairText::TextHideAdvanced));
    }
    SetAdvOptControls();
}

void TSearchForm::SetAdvOptControls()
{
    struct Pair {
        QCheckBox* box;
        QSpinBox* spin;
    };
    const Pair sizes[] = {{ui->chkFileMinSize, ui->txtMinSize}, {ui->chkFileMaxSize, ui->txtMaxSize}};
    const Pair times[] = {{ui->chkFileCreatedTime, ui->txtFileCreatedTime},
                          {ui->chkFileLastAccessedTime, ui->txtFileLastAccessedTime},
                          {ui->chkFileModifiedTime, ui->txtFileModifiedTime}};
    EnableChildren(ui->gbFileSize, ui->gbFileSize->isChecked());
    EnableChildren(ui->gbFileAttr, ui->gbFileAttr->isChecked());
    EnableChildren(ui->gbFileTime, ui->gbFileTime->isChecked());
    if (ui->gbFileSize->isChecked())
        for (const Pair& p : sizes) p.spin->setEnabled(p.box->isChecked());
    if (ui->gbFileTime->isChecked())
        for (const Pair& p : times) p.spin->setEnabled(p.box->isChecked());
}
