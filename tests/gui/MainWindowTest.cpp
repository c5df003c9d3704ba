// MainWindowTest.cpp: the main window driven as a user drives it: pages, enabling rules,
// names, options and their settings, the flags word, the overwrite question, Stop, the
// command line, Save Log, the engine's messages, bad input, Help and About.
//
// Runs that reach the engine repair small files that are no mail stores at all (the
// engine finds nothing in them), so these tests need no working repair; the real repair
// through the window is RealRepairTest.
#include "GuiTestSupport.h"

#include "engine/job/RepairEntry.h"
#include "frontend/app/MainFrm.h"
#include "frontend/app/Quorl.h"
#include "frontend/app/SearchFrm.h"
#include "frontend/app/logdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral("MainWindowTest");
const QString kSep(56, u'-');
const QString kError5 = QStringLiteral(
    "Error 5: Cannot create destination file. If you have Outlook 2000 or earlier versions installed, please make sure "
    "it is installed in the Corporate or Workgroup mode. For Outlook 2002 and later versions, please make sure Exchange "
    "Server components are not installed on the current computer. You may also refer to the faq in the help document "
    "for the detailed information.");

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("the window has no %s", name);
    return c;
}

// Records what the desktop was asked to open, instead of opening it.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder()
    {
        for (const char* scheme : {"file", "https", "http"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : {"file", "https", "http"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

// Answers a file dialog with a path. The dialog reads its folder on a thread of its own
// and may reset the typed name when that finishes, so the answer is given again until the
// dialog has taken it.
ModalAnswerer::Answer ChooseFile(const QString& path, std::function<void(QFileDialog*)> before = {})
{
    return [path, before](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) return;
        if (before) before(dialog);
        QPointer<QFileDialog> alive(dialog);
        for (int attempt = 0; attempt < 100 && alive && alive->isVisible(); ++attempt) {
            // Typed into the name box, as a user does (selectFile leaves a focused box alone).
            if (auto* name = alive->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            else
                alive->selectFile(path);
            static_cast<QDialog*>(alive.data())->accept(); // QFileDialog's own accept checks the name
            if (alive && alive->isVisible()) QTest::qWait(20);
        }
    };
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowAtStart();
    void captionsAndHints_data();
    void captionsAndHints();
    void tabsShowTheirPages();
    void outputNameFollowsSource();
    void startEnabling_data();
    void startEnabling();
    void sizeLimitBox();
    void repairFlags_data();
    void repairFlags();
    void outputFormatWarning();
    void settingsThroughTheWindow();
    void browseButtons();
    void overwriteQuestion();
    void engineMessages();
    void eventsKeepFlowingOnLogLines();
    void stopDuringScan();
    void closeDuringRun();
    void commandLine_data();
    void commandLine();
    void saveLog();
    void badInput_data();
    void badInput();
    void droppedFiles();
    void helpAndAbout();

private:
    void Open();
    void Type(const char* control, const QString& text);
    QStringList Run(); // presses Start, waits for the end, returns the log

    std::unique_ptr<PrivateUserFolders> home_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ModalAnswerer> boxes_;
    std::unique_ptr<TMainForm> form_;
};

void MainWindowTest::init()
{
    home_ = std::make_unique<PrivateUserFolders>();
    dir_ = std::make_unique<QTemporaryDir>();
    boxes_ = std::make_unique<ModalAnswerer>();
    qunsetenv("KRV_CODEPAGE");
}

void MainWindowTest::cleanup()
{
    form_.reset();
    boxes_.reset();
    dir_.reset();
    home_.reset();
}

void MainWindowTest::Open()
{
    form_ = std::make_unique<TMainForm>(kProgram);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void MainWindowTest::Type(const char* control, const QString& text)
{
    auto* edit = Child<QLineEdit>(form_.get(), control);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

QStringList MainWindowTest::Run()
{
    auto* start = Child<QPushButton>(form_.get(), "btnRepair");
    if (!start->isEnabled()) return {QStringLiteral("<Start disabled>")};
    QTest::mouseClick(start, Qt::LeftButton);
    // The click returns once the run, its boxes included, is over.
    if (form_->Running()) return {QStringLiteral("<still running>")};
    return form_->LogLines();
}

void MainWindowTest::windowAtStart()
{
    Open();
    QCOMPARE(form_->size(), QSize(765, 475));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Corvessa"));
    QCOMPARE(Child<QStackedWidget>(form_.get(), "MainPages")->currentWidget()->objectName(),
             QStringLiteral("pgRepair"));
    QVERIFY(Child<QToolButton>(form_.get(), "btnRepairTab")->isChecked());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QCOMPARE(QApplication::focusWidget(), Child<QWidget>(form_.get(), "btnRepairTab"));
    auto* start = Child<QPushButton>(form_.get(), "btnRepair");
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("&Start Repair"));
    QCOMPARE(Child<QLabel>(form_.get(), "labProgress")->text(), QStringLiteral("0% completed"));
    QCOMPARE(Child<QLabel>(form_.get(), "labConsumedTime")->text(), QStringLiteral("0 hour(s) 0 minute(s) "));
    QCOMPARE(Child<QProgressBar>(form_.get(), "Gauge")->value(), 0);
    QCOMPARE(Child<QComboBox>(form_.get(), "cmbSrcFormat")->currentText(), QStringLiteral("Auto Determined"));
    QCOMPARE(Child<QComboBox>(form_.get(), "cmbDstFormat")->count(), 3);
    QCOMPARE(Child<QComboBox>(form_.get(), "cmbDstFormat")->itemText(2), QStringLiteral("Outlook 2003/2007"));
    // First start: the options show their defaults.
    const QStringList on = {"chkFastRecovery",     "chkRecoverUnattchedAttach", "chkIgnoreZeroBlock",
                            "chkAlwaysIPMSubtree", "chkLevel1Recovery",         "chkLevel2Recovery",
                            "chkLevel3Recovery",   "chkLevel4Recovery",         "chkLevel5Recovery"};
    for (QCheckBox* box : form_->findChildren<QCheckBox*>()) {
        // The log dialog's box and the search window's criteria are not repair options.
        if (box->objectName() == u"SystemInfoCheckBox" || form_->SearchForm()->isAncestorOf(box)) continue;
        QVERIFY2(box->isChecked() == on.contains(box->objectName()), qPrintable(box->objectName()));
    }
    QCOMPARE(Child<QSpinBox>(form_.get(), "txtPSTFileSizeLimit")->value(), 1000);
    QVERIFY(!Child<QSpinBox>(form_.get(), "txtPSTFileSizeLimit")->isEnabled());
    QCOMPARE(Child<QSpinBox>(form_.get(), "txtBufSize")->value(), 512);
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtTempDir")->text(), QDir::tempPath() + u'/');
    QVERIFY(!Child<QCheckBox>(form_.get(), "chkOpenFixed")->isVisibleTo(form_.get()));
    SaveScreenshot(form_.get(), QStringLiteral("1-repair-page"));
}

void MainWindowTest::captionsAndHints_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    // One row per control, as the table reads best.
    // clang-format off
    QTest::newRow("repair tab") << "btnRepairTab" << "&Repair" << "Repair a single PST file";
    QTest::newRow("batch tab") << "btnBatchRepairTab" << "&Batch Repair" << "Repair a batch of PST files";
    QTest::newRow("options tab") << "btnOptionsTab" << "&Options" << "Set repair options";
    QTest::newRow("about tab") << "btnAboutTab" << "&About" << "Detailed information about the product";
    QTest::newRow("help") << "btnHelp" << "&Help" << "";
    QTest::newRow("source") << "txtSrcFile" << "" << "Input PST file to be repaired";
    QTest::newRow("source browse") << "btnSrcMore" << "..." << "Browse and select PST file to be repaired";
    QTest::newRow("source search") << "btnSrcSearch" << "Search" << "Search PST file to be repaired on local computer";
    QTest::newRow("source format") << "cmbSrcFormat" << "" << "Select version of PST file to be repaired(if known)";
    QTest::newRow("output") << "txtDstFile" << "" << "Input fixed PST file name";
    QTest::newRow("output browse") << "btnDstMore" << "..." << "Browse and select fixed PST file name";
    QTest::newRow("output format") << "cmbDstFormat" << "" << "Select fixed PST file version";
    QTest::newRow("source label") << "labSelSrcFile" << "Select &PST file to be repaired:" << "";
    QTest::newRow("output label") << "labSelDstFile" << "O&utput fixed file as:" << "";
    QTest::newRow("format label") << "labSrcFormat" << "&Format:" << "";
    QTest::newRow("output format label") << "labDstFormat" << "For&mat:" << "";
    QTest::newRow("batch source format") << "labBatchSrcFormat" << "Source &File Format:" << "";
    QTest::newRow("batch output format") << "labBatchDstFormat" << "&Target File Format:" << "";
    QTest::newRow("save log") << "btnSaveLog" << "Save &Log" << "";
    QTest::newRow("log label") << "labRepairLog" << "Repair process log:" << "";
    QTest::newRow("elapsed prompt") << "labConsumedTimePrompt" << "Time consumed: " << "";
    QTest::newRow("options sub-tab") << "btnSubOptions" << "O&ptions" << "";
    QTest::newRow("advanced sub-tab") << "btnSubAdvOptions" << "A&dvanced Options" << "";
    QTest::newRow("fast") << "chkFastRecovery" << "&Fast scan and recovery" << "";
    QTest::newRow("root") << "chkHeuristicRecoverRoot" << "Re&cover root folder heuristically" << "";
    QTest::newRow("unattached") << "chkRecoverUnattchedAttach" << "R&ecover unattached attachments" << "";
    QTest::newRow("split") << "chkSplitOversizePST" << "&Split output PST file when it is larger than" << "";
    QTest::newRow("MB") << "labMB" << "MB" << "";
    QTest::newRow("zero chunks") << "chkIgnoreZeroBlock" << "&Ignore zero data chunks" << "";
    QTest::newRow("IPM") << "chkAlwaysIPMSubtree" << "Al&ways put recovered items under interpersonal message root folder" << "";
    QTest::newRow("empty folders") << "chkRemoveEmptyFolder" << "Re&move empty folders(folders that don't contain any messages, objects and subfolders)" << "";
    QTest::newRow("open fixed") << "chkOpenFixed" << "&Open the fixed file when finished" << "";
    QTest::newRow("temp dir") << "labTempDir" << "Dire&ctory for temporary files:" << "";
    QTest::newRow("temp dir browse") << "btnMoreDir" << "..." << "";
    QTest::newRow("buffer") << "labBufSize" << "I&nternal Processing Buffer Size:" << "";
    QTest::newRow("bytes") << "labBytes" << "Bytes" << "";
    QTest::newRow("level 1") << "chkLevel1Recovery" << "&Use first advanced recovery method" << "";
    QTest::newRow("level 2") << "chkLevel2Recovery" << "U&se second advanced recovery method" << "";
    QTest::newRow("level 3") << "chkLevel3Recovery" << "Us&e third advanced recovery method" << "";
    QTest::newRow("level 4") << "chkLevel4Recovery" << "Use &forth advanced recovery method" << "";
    QTest::newRow("level 5") << "chkLevel5Recovery" << "Use f&ifth advanced recovery method" << "";
    QTest::newRow("batch add") << "btnAddFiles" << "A&dd Files" << "Add one or multiple PST files to list";
    QTest::newRow("batch search") << "btnSearchFiles" << "S&earch Files" << "Search and add one or multiple PST files to list";
    QTest::newRow("batch remove") << "btnRemoveFiles" << "Re&move Files" << "Remove selected PST files from list";
    QTest::newRow("batch remove all") << "btnRemoveAll" << "Remo&ve All" << "Remove all PST files in list";
    QTest::newRow("batch start") << "btnRepairFiles" << "&Start Repair" << "";
    QTest::newRow("batch list") << "labFileList" << "&List of files to be repaired:" << "";
    QTest::newRow("version prompt") << "labVersionPrompt" << "Version:" << "";
    // clang-format on
}

void MainWindowTest::captionsAndHints()
{
    QFETCH(QString, control);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    Open();
    QWidget* w = Child<QWidget>(form_.get(), control.toLatin1().constData());
    QString text = w->property("text").toString();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) text = edit->text().isEmpty() ? QString() : edit->text();
    if (qobject_cast<QComboBox*>(w)) text.clear();
    QCOMPARE(text, caption);
    QCOMPARE(w->toolTip(), hint);
    // Every label with an accelerator leads to a control.
    if (auto* label = qobject_cast<QLabel*>(w); label && caption.contains(u'&')) QVERIFY(label->buddy());
}

void MainWindowTest::tabsShowTheirPages()
{
    Open();
    auto* pages = Child<QStackedWidget>(form_.get(), "MainPages");
    auto* help = Child<QPushButton>(form_.get(), "btnHelp");
    auto* srcFormat = Child<QComboBox>(form_.get(), "cmbSrcFormat");
    auto* progress = Child<QWidget>(form_.get(), "palProgress");
    struct Tab {
        const char* button;
        const char* page;
        bool helpShown;
        bool formatsShown;
    };
    const Tab tabs[] = {{"btnBatchRepairTab", "pgBatchRepair", true, true},
                        {"btnOptionsTab", "pgOptions", true, false},
                        {"btnAboutTab", "pgAbout", false, false},
                        {"btnRepairTab", "pgRepair", true, true}};
    for (const Tab& tab : tabs) {
        QTest::mouseClick(Child<QToolButton>(form_.get(), tab.button), Qt::LeftButton);
        QCOMPARE(pages->currentWidget()->objectName(), QString::fromLatin1(tab.page));
        QVERIFY(Child<QToolButton>(form_.get(), tab.button)->isChecked());
        QCOMPARE(help->isVisible(), tab.helpShown);
        QCOMPARE(srcFormat->isVisible(), tab.formatsShown);
        QCOMPARE(progress->isVisible(), tab.formatsShown);
        // The shared lists and progress panel sit on the page that is shown.
        if (tab.formatsShown) {
            QVERIFY(pages->currentWidget()->isAncestorOf(srcFormat));
            QVERIFY(pages->currentWidget()->isAncestorOf(progress));
        }
        if (QString::fromLatin1(tab.page) == u"pgBatchRepair")
            SaveScreenshot(form_.get(), QStringLiteral("2-batch-page"));
        if (QString::fromLatin1(tab.page) == u"pgAbout") SaveScreenshot(form_.get(), QStringLiteral("5-about-page"));
    }
    // The format choice is one choice for both pages.
    srcFormat->setCurrentIndex(1);
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnBatchRepairTab"), Qt::LeftButton);
    QCOMPARE(srcFormat->currentIndex(), 1);
    QCOMPARE(Child<QLabel>(form_.get(), "labBatchSrcFormat")->buddy(), srcFormat);

    // Options: the sub-page whose button is down, kept across pages.
    auto* subPages = Child<QStackedWidget>(form_.get(), "OptionPages");
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnOptionsTab"), Qt::LeftButton);
    QCOMPARE(subPages->currentWidget()->objectName(), QStringLiteral("pgOptionsSub"));
    SaveScreenshot(form_.get(), QStringLiteral("3-options-page"));
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnSubAdvOptions"), Qt::LeftButton);
    QCOMPARE(subPages->currentWidget()->objectName(), QStringLiteral("pgAdvOptionsSub"));
    SaveScreenshot(form_.get(), QStringLiteral("4-advanced-options-page"));
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnAboutTab"), Qt::LeftButton);
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnOptionsTab"), Qt::LeftButton);
    QCOMPARE(subPages->currentWidget()->objectName(), QStringLiteral("pgAdvOptionsSub"));

    // The accelerators of the header buttons (a mnemonic presses its button with a short
    // animation, so the page changes a moment later).
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(pages->currentWidget()->objectName(), QStringLiteral("pgAbout"));
    QTest::keyClick(form_.get(), Qt::Key_R, Qt::AltModifier);
    QTRY_COMPARE(pages->currentWidget()->objectName(), QStringLiteral("pgRepair"));
}

void MainWindowTest::outputNameFollowsSource()
{
    Open();
    auto* dst = Child<QLineEdit>(form_.get(), "txtDstFile");
    Type("txtSrcFile", QStringLiteral("/home/u/mail.d/box"));
    QCOMPARE(dst->text(), QStringLiteral("/home/u/mail.d/box_fixed"));
    // While the name is the one filled in, it follows the source.
    Type("txtSrcFile", QStringLiteral("/srv/a.pst"));
    QCOMPARE(dst->text(), QStringLiteral("/srv/a_fixed.pst"));
    // A name the user typed is never replaced.
    Type("txtDstFile", QStringLiteral("/tmp/mine.pst"));
    Type("txtSrcFile", QStringLiteral("/srv/b.pst"));
    QCOMPARE(dst->text(), QStringLiteral("/tmp/mine.pst"));
    // Cleared, the output is filled again by the next change of the source.
    Type("txtDstFile", QString());
    QTest::keyClicks(Child<QLineEdit>(form_.get(), "txtSrcFile"), QStringLiteral("x"));
    QCOMPARE(dst->text(), QStringLiteral("/srv/b_fixed.pstx"));
    QCOMPARE(dst->text(),
             QStringLiteral("/srv/b.pstx").replace(QStringLiteral(".pstx"), QStringLiteral("_fixed.pstx")));
}

void MainWindowTest::startEnabling_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("both") << "/a.pst"
                          << "/b.pst" << true;
    QTest::newRow("blank source") << "   "
                                  << "/b.pst" << false;
    QTest::newRow("blank output") << "/a.pst"
                                  << "  " << false;
    QTest::newRow("no output") << "/a.pst"
                               << "" << false;
    QTest::newRow("nothing") << ""
                             << "" << false;
}

void MainWindowTest::startEnabling()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QFETCH(bool, enabled);
    Open();
    Type("txtDstFile", QStringLiteral("placeholder"));
    Type("txtSrcFile", source);
    Type("txtDstFile", output);
    QCOMPARE(Child<QPushButton>(form_.get(), "btnRepair")->isEnabled(), enabled);
}

void MainWindowTest::sizeLimitBox()
{
    Open();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnOptionsTab"), Qt::LeftButton);
    auto* split = Child<QCheckBox>(form_.get(), "chkSplitOversizePST");
    auto* limit = Child<QSpinBox>(form_.get(), "txtPSTFileSizeLimit");
    QVERIFY(!limit->isEnabled());
    QTest::mouseClick(split, Qt::LeftButton, {}, QPoint(5, split->height() / 2));
    QVERIFY(split->isChecked());
    QVERIFY(limit->isEnabled());
    // Text and numbers beyond the range cannot be typed in.
    limit->setFocus();
    limit->selectAll();
    QTest::keyClicks(limit, QStringLiteral("abc"));
    QCOMPARE(limit->value(), 1000);
    limit->selectAll();
    QTest::keyClicks(limit, QStringLiteral("99999"));
    QVERIFY2(limit->value() >= 1 && limit->value() <= 32767, qPrintable(QString::number(limit->value())));
    limit->selectAll();
    QTest::keyClicks(limit, QStringLiteral("0"));
    limit->interpretText();
    QVERIFY(limit->value() >= 1);
    QTest::mouseClick(split, Qt::LeftButton, {}, QPoint(5, split->height() / 2));
    QVERIFY(!limit->isEnabled());
}

void MainWindowTest::repairFlags_data()
{
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("output");
    QTest::addColumn<uint>("flags");
    const QStringList all = {"chkFastRecovery",      "chkHeuristicRecoverRoot", "chkRecoverUnattchedAttach",
                             "chkSplitOversizePST",  "chkIgnoreZeroBlock",      "chkAlwaysIPMSubtree",
                             "chkRemoveEmptyFolder", "chkLevel1Recovery",       "chkLevel2Recovery",
                             "chkLevel3Recovery",    "chkLevel4Recovery",       "chkLevel5Recovery"};
    QTest::newRow("nothing, both auto") << QStringList() << 0 << 0 << 0u;
    QTest::newRow("everything, 97-2002 into 2003/2007") << all << 1 << 2 << 0x02013F3Fu;
    QTest::newRow("defaults") << QStringList({"chkFastRecovery", "chkRecoverUnattchedAttach", "chkIgnoreZeroBlock",
                                              "chkAlwaysIPMSubtree", "chkLevel1Recovery", "chkLevel2Recovery",
                                              "chkLevel3Recovery", "chkLevel4Recovery", "chkLevel5Recovery"})
                              << 0 << 0 << 0x1F35u;
    QTest::newRow("empty folders sit above the methods")
        << QStringList({"chkRemoveEmptyFolder"}) << 2 << 1 << 0x01022000u;
    QTest::newRow("fast and method 1, output 2003/2007")
        << QStringList({"chkFastRecovery", "chkLevel1Recovery"}) << 0 << 2 << 0x02000101u;
    // The offline folder files of Outlook 2013 and later are a source layout only.
    QTest::newRow("fast, source 2013 or later") << QStringList({"chkFastRecovery"}) << 3 << 0 << 0x00030001u;
}

void MainWindowTest::repairFlags()
{
    QFETCH(QStringList, checked);
    QFETCH(int, source);
    QFETCH(int, output);
    QFETCH(uint, flags);
    Open();
    // Through the real controls, on their pages.
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnOptionsTab"), Qt::LeftButton);
    for (int sub : {1, 2}) {
        form_->SubTabChange(sub);
        for (QCheckBox* box : form_->findChildren<QCheckBox*>()) {
            if (!box->isVisible() || box->objectName() == u"chkOpenFixed") continue;
            if (box->isChecked() != checked.contains(box->objectName()))
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        }
    }
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnRepairTab"), Qt::LeftButton);
    Child<QComboBox>(form_.get(), "cmbSrcFormat")->setCurrentIndex(source);
    Child<QComboBox>(form_.get(), "cmbDstFormat")->setCurrentIndex(output);
    QCOMPARE(form_->GetRepairFlags(), uint32_t(flags));
}

void MainWindowTest::outputFormatWarning()
{
    Open();
    auto* dst = Child<QComboBox>(form_.get(), "cmbDstFormat");
    dst->setCurrentIndex(1);
    QVERIFY(boxes_->Seen().isEmpty());
    dst->setCurrentIndex(2);
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Please make sure your computer has Outlook 2003 or 2007 installed! "
                                               "Otherwise Corvessa cannot output Outlook 2003/2007 format PST file!"}));
    QCOMPARE(boxes_->Seen().first().title, QStringLiteral("Warning"));
    QCOMPARE(dst->currentIndex(), 2);
    QCOMPARE(form_->GetRepairFlags() >> 24, 2u);
}

void MainWindowTest::settingsThroughTheWindow()
{
    const QString file = home_->SettingsFile(kProgram);
    QVERIFY(QFile(file).open(QIODevice::WriteOnly) && QFile(file).exists());
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Misc]\nPSTFileSizeLimit=0\nSplitOversizePST=1\nBufSize=70000\n");
    }
    Open();
    // Out-of-range numbers show clamped; the split box enables the limit at start.
    auto* limit = Child<QSpinBox>(form_.get(), "txtPSTFileSizeLimit");
    QCOMPARE(limit->value(), 1);
    QVERIFY(limit->isEnabled());
    QCOMPARE(Child<QSpinBox>(form_.get(), "txtBufSize")->value(), 65536);
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnOptionsTab"), Qt::LeftButton);
    auto* fast = Child<QCheckBox>(form_.get(), "chkFastRecovery");
    QTest::mouseClick(fast, Qt::LeftButton, {}, QPoint(5, fast->height() / 2));
    limit->setValue(250);
    Child<QLineEdit>(form_.get(), "txtTempDir")->setText(QStringLiteral("/var/tmp/krv/"));
    Child<QComboBox>(form_.get(), "cmbSrcFormat")->setCurrentIndex(2);
    form_.reset();

    const QString text = QString::fromUtf8(ReadAll(file));
    for (const char* line : {"FastRecovery=0\n", "PSTFileSizeLimit=250\n", "BufSize=65536\n", "TempDir=/var/tmp/krv/\n",
                             "SplitOversizePST=1\n", "Level5Recovery=1\n", "OpenFilterIndex=1\n"})
        QVERIFY2(text.contains(QString::fromLatin1(line)), line);
    Open();
    QVERIFY(!Child<QCheckBox>(form_.get(), "chkFastRecovery")->isChecked());
    QCOMPARE(Child<QSpinBox>(form_.get(), "txtPSTFileSizeLimit")->value(), 250);
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtTempDir")->text(), QStringLiteral("/var/tmp/krv/"));
    // The format lists are not stored.
    QCOMPARE(Child<QComboBox>(form_.get(), "cmbSrcFormat")->currentIndex(), 0);
}

void MainWindowTest::browseButtons()
{
    const QString store = dir_->filePath(QStringLiteral("picked.pst"));
    QVERIFY(WriteZeroFile(store, 1024));
    Open();
    // The open dialog starts in the remembered folder and remembers the new one.
    QString startFolder;
    boxes_->Queue(ChooseFile(store, [&startFolder](QFileDialog* d) { startFolder = d->directory().absolutePath(); }));
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnSrcMore"), Qt::LeftButton);
    QCOMPARE(startFolder, QDir::homePath());
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtSrcFile")->text(), store);
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtDstFile")->text(), dir_->filePath(QStringLiteral("picked_fixed.pst")));

    // The save dialog adds the extension of its filter.
    QString suffix;
    boxes_->Queue(ChooseFile(dir_->filePath(QStringLiteral("chosen")),
                             [&suffix](QFileDialog* d) { suffix = d->defaultSuffix(); }));
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnDstMore"), Qt::LeftButton);
    QCOMPARE(suffix, QStringLiteral("pst"));
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtDstFile")->text(), dir_->filePath(QStringLiteral("chosen.pst")));

    // Cancelled dialogs change nothing.
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnSrcMore"), Qt::LeftButton);
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtSrcFile")->text(), store);
    form_.reset();
    QVERIFY(QString::fromUtf8(ReadAll(home_->SettingsFile(kProgram)))
                .contains(QStringLiteral("OpenDirectory=") + dir_->path() + u'/'));
}

void MainWindowTest::overwriteQuestion()
{
    const QString source = dir_->filePath(QStringLiteral("box.pst"));
    const QString output = dir_->filePath(QStringLiteral("box_fixed.pst"));
    QVERIFY(WriteZeroFile(source, 4096));
    QVERIFY(WriteZeroFile(output, 10));
    Open();
    Type("txtSrcFile", source);

    boxes_->QueueButton(QMessageBox::No);
    QCOMPARE(Run(), QStringList({"Start repair process ...", kSep, "Repair process is aborted."}));
    QCOMPARE(boxes_->SeenTexts(),
             QStringList({QStringLiteral("A file named '%1' already exists. Overwrite it?").arg(output)}));
    QCOMPARE(ReadAll(output).size(), 10);

    boxes_->Clear();
    boxes_->QueueButton(QMessageBox::Yes);
    QStringList log = Run();
    QCOMPARE(log.mid(0, 5),
             QStringList({"Start repair process ...", kSep,
                          QStringLiteral("File to be repaired: '%1'; File size = 4,096 bytes").arg(source),
                          QStringLiteral("Output fixed file as: '%1'").arg(output), kSep}));
    QCOMPARE(log.last(), QStringLiteral("Fail to repair file '%1'!").arg(source));
    QCOMPARE(boxes_->SeenTexts().last(), log.last());
}

void MainWindowTest::engineMessages()
{
    Open();
    TTrelvMainForm* window = form_.get();
    auto send = [&window](int32_t code, const void* data) {
        return RepairProgressCallback(code, const_cast<void*>(data), reinterpret_cast<uintptr_t>(&window));
    };
    send(MsgLogLine, "-");
    send(MsgLogLine, "--");
    send(MsgLogLine, " -");
    send(MsgError, "Error 1: Cannot open the file to be repaired. x was not found.");
    send(MsgLogLine, "Recover message 'Gr\xfc\xdf"
                     "e' ..."); // Windows-1252, as the engine sends it
    send(MsgSourceName, "/ignored.pst");
    send(MsgLogLine, "");
    QCOMPARE(form_->LogLines(),
             QStringList({kSep, "--", " -", kSep, "Error 1: Cannot open the file to be repaired. x was not found.",
                          kSep, QStringLiteral("Recover message 'Grüße' ..."), ""}));
    QCOMPARE(Child<QPlainTextEdit>(form_.get(), "txtRepairLog")->toPlainText().split(u'\n'), form_->LogLines());

    const uint8_t seventy = 70;
    QCOMPARE(send(MsgProgress, &seventy), 0);
    QCOMPARE(Child<QProgressBar>(form_.get(), "Gauge")->value(), 70);
    QCOMPARE(Child<QLabel>(form_.get(), "labProgress")->text(), QStringLiteral("70% completed"));
    const uint32_t count = 12;
    send(MsgItemCount, &count);
    QCOMPARE(form_->RecoveredCount(), 12);

    // No run is active: the engine is told to stop.
    QCOMPARE(send(MsgAbortQuery, nullptr), -1);

    QCOMPARE(send(MsgAlert, "Share violation when opening the source file '/x'."), 0);
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Share violation when opening the source file '/x'."}));
    QCOMPARE(boxes_->Seen().first().title, QStringLiteral("Information"));
    QVERIFY(!form_->LogLines().contains(QStringLiteral("Share violation when opening the source file '/x'.")));
}

void MainWindowTest::eventsKeepFlowingOnLogLines()
{
    Open();
    // While items are written the engine sends log lines and no progress; a timer due
    // in the meantime must still fire within the stream of lines.
    bool fired = false;
    QTimer::singleShot(0, this, [&fired] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    int lines = 0;
    // The bound only ends a failing test; without the pump the timer never fires here.
    while (!fired && clock.elapsed() < 5000) {
        form_->OnMessage(MsgLogLine, "Recover message 'x' ...");
        ++lines;
    }
    QVERIFY2(fired, qPrintable(QStringLiteral("no events processed over %1 log lines").arg(lines)));
}

void MainWindowTest::stopDuringScan()
{
    const QString source = dir_->filePath(QStringLiteral("big.pst"));
    QVERIFY(WriteZeroFile(source, 8 * 1024 * 1024));
    Open();
    Type("txtSrcFile", source);
    auto* gauge = Child<QProgressBar>(form_.get(), "Gauge");
    auto* start = Child<QPushButton>(form_.get(), "btnRepair");
    QList<int> afterStop;
    bool stopped = false;
    QString captionWhileRunning;
    connect(gauge, &QProgressBar::valueChanged, this, [&](int value) {
        if (stopped) {
            afterStop << value;
        } else if (value >= 17) {
            // In the scan: press Stop, as a user would while the window pumps events.
            captionWhileRunning = start->text();
            stopped = true;
            QTest::mouseClick(start, Qt::LeftButton);
        }
    });
    QStringList log = Run();
    QVERIFY(stopped);
    QCOMPARE(captionWhileRunning, QStringLiteral("&Stop Repair"));
    // The engine stopped scanning at once: nothing between the stop and the end.
    QCOMPARE(afterStop, QList<int>({100}));
    QCOMPARE(log.size() >= 5, true);
    QVERIFY(log[log.size() - 5].startsWith(QStringLiteral("Consumed time: ")));
    QCOMPARE(log.mid(log.size() - 4),
             QStringList({kSep, "Repair process completes.", kSep, "User aborts the repair process"}));
    QCOMPARE(boxes_->SeenTexts(), QStringList({"User aborts the repair process"}));
    QCOMPARE(start->text(), QStringLiteral("&Start Repair"));
    QVERIFY(!form_->Running());
    // Until the next run, every abort query is answered with a stop.
    QVERIFY(form_->OnMessage(MsgAbortQuery, nullptr));
    SaveScreenshot(form_.get(), QStringLiteral("7-after-stop"));
}

void MainWindowTest::closeDuringRun()
{
    const QString source = dir_->filePath(QStringLiteral("big.pst"));
    QVERIFY(WriteZeroFile(source, 8 * 1024 * 1024));
    Open();
    Type("txtSrcFile", source);
    bool closed = false;
    connect(Child<QProgressBar>(form_.get(), "Gauge"), &QProgressBar::valueChanged, this, [&](int value) {
        if (value >= 17 && !closed) {
            closed = true;
            form_->close();
            // Still there: the engine's call is on the stack.
            QVERIFY(form_->isVisible());
        }
    });
    QStringList log = Run();
    QVERIFY(closed);
    QCOMPARE(log.last(), QStringLiteral("User aborts the repair process"));
    QVERIFY(boxes_->Seen().isEmpty());
    QTRY_VERIFY(!form_->isVisible());
}

void MainWindowTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // the error box, or empty when the repair runs
    QTest::addColumn<bool>("openFixed");
    QTest::addColumn<bool>("ends");
    QTest::newRow("only a switch") << QStringList({"/E"}) << "Cannot open file " << false << false;
    QTest::newRow("missing file") << QStringList({"-o", "@DIR@/none.pst"}) << "Cannot open file @DIR@/none.pst" << false
                                  << false;
    QTest::newRow("O and E with slashes") << QStringList({"/O", "/E", "@DIR@/m.pst"}) << "" << true << true;
    QTest::newRow("dashes in any case") << QStringList({"-e", "@DIR@/m.pst", "-x"}) << "" << false << true;
    QTest::newRow("no switches") << QStringList({"@DIR@/m.pst", "@DIR@/second.pst"}) << "" << false << false;
}

void MainWindowTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(bool, openFixed);
    QFETCH(bool, ends);
    const QString source = dir_->filePath(QStringLiteral("m.pst"));
    QVERIFY(WriteZeroFile(source, 2048));
    for (QString& a : arguments) a.replace(QStringLiteral("@DIR@"), dir_->path());
    error.replace(QStringLiteral("@DIR@"), dir_->path());
    Open();
    form_->ProcessCommandLine(arguments);
    if (!error.isEmpty()) {
        QCOMPARE(boxes_->SeenTexts(), QStringList({error}));
        QCOMPARE(boxes_->Seen().first().title, QStringLiteral("Error"));
        QVERIFY(form_->LogLines().isEmpty());
        QVERIFY(form_->isVisible());
        return;
    }
    const QStringList log = form_->LogLines();
    QCOMPARE(log.value(2), QStringLiteral("File to be repaired: '%1'; File size = 2,048 bytes").arg(source));
    QCOMPARE(log.value(3),
             QStringLiteral("Output fixed file as: '%1'").arg(dir_->filePath(QStringLiteral("m_fixed.pst"))));
    QCOMPARE(boxes_->SeenTexts().last(), QStringLiteral("Fail to repair file '%1'!").arg(source));
    QCOMPARE(Child<QCheckBox>(form_.get(), "chkOpenFixed")->isChecked(), openFixed);
    QCOMPARE(!form_->isVisible(), ends);
}

void MainWindowTest::saveLog()
{
    Open();
    auto* dialog = form_->SaveLogDialog();
    QVERIFY(dialog->IncludeSysInfo());
    auto* saveButton = Child<QPushButton>(form_.get(), "btnSaveLog");
    const QString empty = dir_->filePath(QStringLiteral("empty.log"));
    const QString plain = dir_->filePath(QStringLiteral("plain.log"));
    const QString full = dir_->filePath(QStringLiteral("full.log"));
    auto choose = [](const QString& path, bool include) {
        return ChooseFile(path, [include](QFileDialog* d) {
            auto* box = d->findChild<QCheckBox*>(QStringLiteral("SystemInfoCheckBox"));
            QVERIFY(box && box->isVisible());
            QCOMPARE(box->text(), QStringLiteral("Include S&ystem Information"));
            QCOMPARE(box->toolTip(), QStringLiteral("Include system information in the log file"));
            box->setChecked(include);
        });
    };

    // An empty log without the report is an empty file.
    boxes_->Queue(choose(empty, false));
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QVERIFY(QFile::exists(empty));
    QCOMPARE(ReadAll(empty), QByteArray());
    // The box keeps the last choice.
    QVERIFY(!dialog->IncludeSysInfo());

    form_->OnMessage(MsgLogLine, "Analyzing the source file ...");
    form_->OnMessage(MsgLogLine, "Recover message 'Gr\xfc\xdf"
                                 "e' ...");
    boxes_->Queue(choose(plain, false));
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QCOMPARE(ReadAll(plain), QByteArray("Analyzing the source file ...\r\nRecover message 'Gr\xfc\xdf"
                                        "e' ...\r\n"));

    boxes_->Queue(choose(full, true));
    QTest::mouseClick(saveButton, Qt::LeftButton);
    const QByteArray bytes = ReadAll(full);
    QVERIFY(bytes.endsWith("\r\nAnalyzing the source file ...\r\nRecover message 'Gr\xfc\xdf"
                           "e' ...\r\n"));
    const QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(0), kSep);
    QCOMPARE(lines.value(1), QStringLiteral(" Version Information:"));
    QCOMPARE(lines.value(2), QStringLiteral("File Version: 0.1.0.0"));
    QVERIFY(lines.value(4).startsWith(QStringLiteral("Engine Library: /")));
    QVERIFY(lines.value(4).contains(QStringLiteral("libKRV.so")));
    QVERIFY(lines.contains(QStringLiteral("End of System Information")));
    qsizetype settings = lines.indexOf(QStringLiteral("Setting Information:"));
    QVERIFY(settings > lines.indexOf(QStringLiteral("End of System Information")));
    QCOMPARE(
        lines.mid(settings, 19),
        QStringList({"Setting Information:", "&Fast scan and recovery: Yes", "Re&cover root folder heuristically: No",
                     "R&ecover unattached attachments: Yes", "&Split output PST file when it is larger than: No",
                     "&Split output PST file when it is larger than 1000", "&Ignore zero data chunks: Yes",
                     "Al&ways put recovered items under interpersonal message root folder: Yes",
                     "Re&move empty folders(folders that don't contain any messages, objects and subfolders): No",
                     "&Use first advanced recovery method: Yes", "U&se second advanced recovery method: Yes",
                     "Us&e third advanced recovery method: Yes", "Use &forth advanced recovery method: Yes",
                     "Use f&ifth advanced recovery method: Yes",
                     QStringLiteral("Dire&ctory for temporary files: ") + QDir::tempPath() + u'/',
                     "I&nternal Processing Buffer Size: 512", kSep, "End of Setting Information", kSep}));
    QCOMPARE(lines.value(settings + 19), QStringLiteral("Analyzing the source file ..."));
    // Every line ends in CR LF: no bare line feed anywhere.
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));

    // A file that cannot be created.
    boxes_->Clear();
    boxes_->Queue(choose(dir_->filePath(QStringLiteral("empty.log/x.log")), false));
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QVERIFY(boxes_->SeenTexts().contains(
        QStringLiteral("Cannot create file %1").arg(dir_->filePath(QStringLiteral("empty.log/x.log")))));
}

void MainWindowTest::badInput_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("logLine");  // a line the log must hold
    QTest::addColumn<QString>("finalBox"); // the box that ends the run
    QTest::newRow("missing source") << "@DIR@/none.pst"
                                    << "@DIR@/out.pst"
                                    << "Error 1: Cannot open the file to be repaired. @DIR@/none.pst was not found."
                                    << "Fail to repair file '@DIR@/none.pst'!";
    QTest::newRow("folder as source")
        << "@DIR@/folder"
        << "@DIR@/out.pst"
        << "'@DIR@/folder' is not a regular file (it is a folder, a pipe or a device) and cannot be repaired."
        << "Fail to repair file '@DIR@/folder'!";
    QTest::newRow("pipe as source")
        << "@DIR@/fifo"
        << "@DIR@/out.pst"
        << "'@DIR@/fifo' is not a regular file (it is a folder, a pipe or a device) and cannot be repaired."
        << "Fail to repair file '@DIR@/fifo'!";
    QTest::newRow("output folder missing")
        << "@DIR@/in.pst"
        << "@DIR@/no/such/out.pst"
        << "The fixed file '@DIR@/no/such/out.pst' cannot be created: its folder '@DIR@/no/such' does not exist or cannot be written."
        << "Fail to repair file '@DIR@/in.pst'!";
    QTest::newRow("output folder read-only")
        << "@DIR@/in.pst"
        << "@DIR@/readonly/out.pst"
        << "The fixed file '@DIR@/readonly/out.pst' cannot be created: its folder '@DIR@/readonly' does not exist or cannot be written."
        << "Fail to repair file '@DIR@/in.pst'!";
    // A folder that exists but takes no new file, even from root: the engine's own error.
    QTest::newRow("output where no file can be made")
        << "@SAMPLE@"
        << "/proc/krv-out.pst" << kError5 << "Fail to repair file '@SAMPLE@'!";
    QTest::newRow("output is a folder")
        << "@DIR@/in.pst"
        << "@DIR@/folder"
        << "The fixed file '@DIR@/folder' cannot be created: a folder of that name exists."
        << ""; // the overwrite question comes first; answered No below
    QTest::newRow("output is the source")
        << "@DIR@/in.pst"
        << "@DIR@/./in.pst"
        << "Repair process is aborted."
        << "The output file '@DIR@/./in.pst' is the file to be repaired. Please choose another name for the fixed file.";
    QTest::newRow("output links to the source")
        << "@DIR@/in.pst"
        << "@DIR@/link.pst"
        << "Repair process is aborted."
        << "The output file '@DIR@/link.pst' is the file to be repaired. Please choose another name for the fixed file.";
}

void MainWindowTest::badInput()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QFETCH(QString, logLine);
    QFETCH(QString, finalBox);
    for (QString* s : {&source, &output, &logLine, &finalBox}) {
        s->replace(QStringLiteral("@DIR@"), dir_->path());
        s->replace(QStringLiteral("@SAMPLE@"), QStringLiteral(KRV_SOURCE_DIR "/samples/sample-damaged.pst"));
    }
    QVERIFY(QDir().mkpath(dir_->filePath(QStringLiteral("folder"))));
    QVERIFY(WriteZeroFile(dir_->filePath(QStringLiteral("in.pst")), 512));
    QVERIFY(mkfifo(QFile::encodeName(dir_->filePath(QStringLiteral("fifo"))).constData(), 0600) == 0);
    QVERIFY(QFile::link(dir_->filePath(QStringLiteral("in.pst")), dir_->filePath(QStringLiteral("link.pst"))));
    if (QTest::currentDataTag() == QByteArray("output folder read-only")) {
        // Permissions do not hold back root, who may write there after all.
        if (geteuid() == 0) QSKIP("running as root, for whom no folder is read-only");
        QVERIFY(QDir().mkpath(dir_->filePath(QStringLiteral("readonly"))));
        QVERIFY(chmod(QFile::encodeName(dir_->filePath(QStringLiteral("readonly"))).constData(), 0555) == 0);
    }
    Open();
    Type("txtSrcFile", source);
    Type("txtDstFile", output);
    // The folder of the output's name exists: the question comes, and Yes goes on.
    if (QTest::currentDataTag() == QByteArray("output is a folder")) boxes_->QueueButton(QMessageBox::Yes);
    QStringList log = Run();
    QVERIFY2(log.contains(logLine), qPrintable(log.join(u'\n')));
    // The engine's alert comes as a box of its own, before the final one.
    if (logLine == kError5) QCOMPARE(boxes_->SeenTexts().value(0), kError5);
    if (!finalBox.isEmpty())
        QCOMPARE(boxes_->SeenTexts().last(), finalBox);
    else
        QCOMPARE(boxes_->SeenTexts().last(), QStringLiteral("Fail to repair file '%1'!").arg(source));
    // The source is untouched, and nothing was made of the bad output.
    QCOMPARE(QFileInfo(dir_->filePath(QStringLiteral("in.pst"))).size(), 512);
    QVERIFY(!form_->Running());
}

void MainWindowTest::droppedFiles()
{
    const QString store = dir_->filePath(QStringLiteral("dropped.pst"));
    QVERIFY(WriteZeroFile(store, 10));
    Open();
    auto* src = Child<QLineEdit>(form_.get(), "txtSrcFile");
    auto drop = [src](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(src, &enter);
        bool accepted = enter.isAccepted();
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(src, &dropped);
        return accepted && dropped.isAccepted();
    };
    QVERIFY(drop({QUrl::fromLocalFile(store), QUrl::fromLocalFile(dir_->filePath(QStringLiteral("second.pst")))}));
    QCOMPARE(src->text(), store);
    QCOMPARE(Child<QLineEdit>(form_.get(), "txtDstFile")->text(), dir_->filePath(QStringLiteral("dropped_fixed.pst")));
    QVERIFY(drop({QUrl::fromLocalFile(dir_->path())}));
    QCOMPARE(
        boxes_->SeenTexts(),
        QStringList({QStringLiteral("'%1' is a folder. Please drop a PST file, not a folder.").arg(dir_->path())}));
    QCOMPARE(src->text(), store);
}

void MainWindowTest::helpAndAbout()
{
    Open();
    UrlRecorder urls;
    // Help is the page beside the program; this test program has none until it is made.
    QFile::remove(form_->HelpFile());
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnHelp"), Qt::LeftButton);
    QCOMPARE(boxes_->SeenTexts(),
             QStringList({QStringLiteral("The help page %1 cannot be found.").arg(form_->HelpFile())}));
    QVERIFY(urls.opened.isEmpty());
    QVERIFY(QFile::copy(QStringLiteral(KRV_BIN_DIR "/KRVRepair.html"), form_->HelpFile()));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_F1);
    QCOMPARE(urls.opened, QList<QUrl>({QUrl::fromLocalFile(form_->HelpFile())}));

    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnAboutTab"), Qt::LeftButton);
    QCOMPARE(Child<QLabel>(form_.get(), "labTitle")->text(), QStringLiteral("Corvessa"));
    QCOMPARE(Child<QLabel>(form_.get(), "labVersion")->text(), QStringLiteral("0.1.0.0"));
    QVERIFY(!Child<QLabel>(form_.get(), "imgLogo")->pixmap().isNull());
    QTest::mouseClick(Child<QLabel>(form_.get(), "labHomepage"), Qt::LeftButton);
    QTest::mouseClick(Child<QLabel>(form_.get(), "labSupportCenter"), Qt::LeftButton);
    QTest::mouseClick(Child<QLabel>(form_.get(), "imgLogo"), Qt::LeftButton);
    QCOMPARE(urls.opened.size(), 4);
    QCOMPARE(urls.opened[1], QUrl::fromLocalFile(form_->HelpFile()));
    QCOMPARE(urls.opened[2], QUrl::fromLocalFile(QStringLiteral(KRV_SOURCE_DIR)));
    QCOMPARE(urls.opened[3], urls.opened[2]);
    QFile::remove(form_->HelpFile());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
