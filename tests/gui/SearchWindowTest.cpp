// SearchWindowTest.cpp: the search window driven as a user drives it, over a tree of
// stores of various sizes, modes, names and times with a hidden folder, an unreadable
// folder, a link to a folder and a loop of links: every criterion on and off, Stop and
// closing during a search, the caller's protocol in single and multiple selection, and
// the mount table behind "Local Harddrives".
#include "GuiTestSupport.h"

#include "frontend/app/MainFrm.h"
#include "frontend/app/SearchFrm.h"
#include "frontend/framework/FileSearch.h"
#include "frontend/framework/MountTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("the window has no %s", name);
    return c;
}

// Takes from this thread, while it lives, the power of root to read and write files
// regardless of their permissions, so that an unreadable folder and a read-only file are
// what they are for every other user. Does nothing for a user without that power.
class NoPermissionOverride {
public:
    NoPermissionOverride()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~NoPermissionOverride()
    {
        if (active_) syscall(SYS_capset, &header_, saved_);
    }
    NoPermissionOverride(const NoPermissionOverride&) = delete;
    NoPermissionOverride& operator=(const NoPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

bool SetTimes(const QString& path, int daysAgo)
{
    const timespec t{time(nullptr) - daysAgo * 86400, 0};
    const timespec times[2] = {t, t};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void windowAtStart();
    void criteria();
    void advancedPanel();
    void severalFolders();
    void otherFileSystemsNotEntered();
    void stopAndClose();
    void resultsHandedBack();
    void localHarddrives();

private:
    // Presses Start Search and returns the results as paths below the tree, in list order.
    QStringList Search();
    QString Tree(const QString& relative = QString()) const
    {
        return relative.isEmpty() ? tree_.path() : tree_.filePath(relative);
    }

    QTemporaryDir tree_;
    bool unreadableIsReadable_ = false;
    std::unique_ptr<PrivateUserFolders> home_;
    std::unique_ptr<ModalAnswerer> boxes_;
    std::unique_ptr<TSearchForm> form_;
};

void SearchWindowTest::initTestCase()
{
    // tree/
    //   Mailbox.PST 10 KB    small.pst 1 KB    big.pst 300 KB    readonly.pst 2 KB, mode 0444
    //   notes.txt            .dot.pst (hidden)  link.pst -> big.pst   folder.pst/ (a folder)
    //   .hidden/inner.pst    sub/deep/old.pst (used 10 days ago)       sub/x.PsT
    //   unreadable/secret.pst (folder mode 0)   loop -> .   tosub -> sub
    const struct {
        const char* path;
        qint64 size;
    } files[] = {{"Mailbox.PST", 10 * 1024},   {"small.pst", 1024},        {"big.pst", 300 * 1024},
                 {"readonly.pst", 2048},       {"notes.txt", 100},         {".dot.pst", 100},
                 {".hidden/inner.pst", 100},   {"sub/deep/old.pst", 5000}, {"sub/x.PsT", 10},
                 {"unreadable/secret.pst", 10}};
    for (const auto& f : files) {
        const QString path = Tree(QString::fromLatin1(f.path));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(WriteZeroFile(path, f.size));
    }
    QVERIFY(QDir().mkpath(Tree(QStringLiteral("folder.pst"))));
    QVERIFY(QFile::link(Tree(QStringLiteral("big.pst")), Tree(QStringLiteral("link.pst"))));
    QVERIFY(symlink(".", QFile::encodeName(Tree(QStringLiteral("loop"))).constData()) == 0);
    QVERIFY(symlink("sub", QFile::encodeName(Tree(QStringLiteral("tosub"))).constData()) == 0);
    QVERIFY(SetTimes(Tree(QStringLiteral("sub/deep/old.pst")), 10));
    QVERIFY(chmod(QFile::encodeName(Tree(QStringLiteral("readonly.pst"))).constData(), 0444) == 0);
    QVERIFY(chmod(QFile::encodeName(Tree(QStringLiteral("unreadable"))).constData(), 0) == 0);
}

void SearchWindowTest::cleanupTestCase()
{
    chmod(QFile::encodeName(Tree(QStringLiteral("unreadable"))).constData(), 0700);
}

void SearchWindowTest::init()
{
    home_ = std::make_unique<PrivateUserFolders>();
    boxes_ = std::make_unique<ModalAnswerer>();
    form_ = std::make_unique<TSearchForm>(nullptr, [] {});
    // Shown as a plain window, so that the box answerer leaves it alone; the callers'
    // modal openings are resultsHandedBack.
    form_->setModal(false);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void SearchWindowTest::cleanup()
{
    form_.reset();
    boxes_.reset();
    home_.reset();
}

QStringList SearchWindowTest::Search()
{
    boxes_->Clear();
    {
        NoPermissionOverride asAnyUser;
        unreadableIsReadable_ = faccessat(AT_FDCWD, QFile::encodeName(Tree(QStringLiteral("unreadable"))).constData(),
                                          R_OK, AT_EACCESS) == 0;
        QTest::mouseClick(Child<QPushButton>(form_.get(), "btnSearch"), Qt::LeftButton);
    }
    QStringList found;
    auto* results = Child<QTreeWidget>(form_.get(), "fl");
    for (int i = 0; i < results->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = results->topLevelItem(i);
        QString folder = row->text(1);
        found << QDir(Tree()).relativeFilePath(folder + row->text(0));
    }
    return found;
}

void SearchWindowTest::windowAtStart()
{
    QCOMPARE(form_->size(), QSize(765, 505));
    QCOMPARE(form_->minimumSize(), QSize(757, 497));
    auto* names = Child<QComboBox>(form_.get(), "cmbFileName");
    QCOMPARE(names->count(), 1);
    QCOMPARE(names->currentText(), QStringLiteral("Outlook data files (*.pst)"));
    auto* folders = Child<QComboBox>(form_.get(), "cmbDirectory");
    QCOMPARE(folders->currentText(), QStringLiteral("Local Harddrives (%1)").arg(form_->FixedDriveList()));
    QVERIFY(!form_->FixedDriveList().isEmpty());
    QVERIFY(Child<QCheckBox>(form_.get(), "RecurseSubDirs")->isChecked());
    QVERIFY(!Child<QWidget>(form_.get(), "palAdvOptions")->isVisible());
    QCOMPARE(Child<QToolButton>(form_.get(), "btnAdvOptions")->text(), QStringLiteral("&+"));
    for (const char* group : {"gbFileSize", "gbFileAttr", "gbFileTime"})
        QVERIFY(!Child<QGroupBox>(form_.get(), group)->isChecked());
    for (QSpinBox* spin : form_->findChildren<QSpinBox*>()) QCOMPARE(spin->value(), 0);
    auto* results = Child<QTreeWidget>(form_.get(), "fl");
    QStringList columns;
    for (int c = 0; c < results->columnCount(); ++c) columns << results->headerItem()->text(c);
    QCOMPARE(columns, QStringList({"Name", "Directory", "Size(bytes)", "Created", "Last Accessed", "Last Modified"}));
    QCOMPARE(Child<QLabel>(form_.get(), "labProgress")->text(), QStringLiteral("0 file(s) found"));
    QCOMPARE(Child<QLabel>(form_.get(), "labConsumedTime")->text(), QStringLiteral("0 hour(s) 0 minute(s) "));
    QCOMPARE(Child<QPushButton>(form_.get(), "btnSearch")->text(), QStringLiteral("&Start Search"));
    QCOMPARE(Child<QPushButton>(form_.get(), "btnOK")->toolTip(),
             QStringLiteral("Close search window and repair selected found files"));
    QCOMPARE(Child<QLabel>(form_.get(), "labHeader")->text(),
             QStringLiteral("Search for source PST files to be repaired"));
    SaveScreenshot(form_.get(), QStringLiteral("10-search-window"));
}

void SearchWindowTest::criteria()
{
    auto* folders = Child<QComboBox>(form_.get(), "cmbDirectory");
    folders->setEditText(Tree());
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnAdvOptions"), Qt::LeftButton);
    auto group = [this](const char* name, bool on) {
        auto* g = Child<QGroupBox>(form_.get(), name);
        if (g->isChecked() != on) {
            g->setFocus();
            QTest::keyClick(g, Qt::Key_Space);
        }
        QCOMPARE(g->isChecked(), on);
    };
    auto box = [this](const char* name, bool on) {
        auto* b = Child<QCheckBox>(form_.get(), name);
        if (b->isChecked() != on) QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
        QCOMPARE(b->isChecked(), on);
    };
    auto number = [this](const char* name, int value) {
        auto* spin = Child<QSpinBox>(form_.get(), name);
        QVERIFY(spin->isEnabled());
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(value));
        QCOMPARE(spin->value(), value);
    };
    const QStringList everything = {".dot.pst",  "Mailbox.PST",     "big.pst",   "folder.pst",
                                    "link.pst",  "readonly.pst",    "small.pst", ".hidden/inner.pst",
                                    "sub/x.PsT", "sub/deep/old.pst"};
    struct Case {
        const char* name;
        std::function<void()> set;
        QStringList expected;
    };
    const Case cases[] = {
        {"defaults: every store, hidden ones too, no link to a folder followed", [] {}, everything},
        {"no subfolders",
         [&] { box("RecurseSubDirs", false); },
         {".dot.pst", "Mailbox.PST", "big.pst", "folder.pst", "link.pst", "readonly.pst", "small.pst"}},
        {"at least 100 KB",
         [&] {
             box("RecurseSubDirs", true);
             group("gbFileSize", true);
             box("chkFileMinSize", true);
             number("txtMinSize", 100);
         },
         {"big.pst", "link.pst"}},
        {"at least 5 and at most 10 KB",
         [&] {
             number("txtMinSize", 5);
             box("chkFileMaxSize", true);
             number("txtMaxSize", 10);
         },
         {"Mailbox.PST"}},
        {"at most 1 KB",
         [&] {
             box("chkFileMinSize", false);
             number("txtMaxSize", 1);
         },
         {".dot.pst", "folder.pst", "small.pst", ".hidden/inner.pst", "sub/x.PsT"}},
        {"size group off", [&] { group("gbFileSize", false); }, everything},
        {"hidden",
         [&] {
             group("gbFileAttr", true);
             box("chkFileHiddenAttr", true);
         },
         {".dot.pst"}},
        {"read-only",
         [&] {
             box("chkFileHiddenAttr", false);
             box("chkFileReadOnlyAttr", true);
         },
         {"readonly.pst"}},
        {"system: no meaning here",
         [&] {
             box("chkFileReadOnlyAttr", false);
             box("chkFileSystemAttr", true);
         },
         {}},
        {"archive: no meaning here",
         [&] {
             box("chkFileSystemAttr", false);
             box("chkFileArchiveAttr", true);
         },
         {}},
        {"attribute group with nothing checked", [&] { box("chkFileArchiveAttr", false); }, everything},
        {"modified in 5 days",
         [&] {
             group("gbFileAttr", false);
             group("gbFileTime", true);
             box("chkFileModifiedTime", true);
             number("txtFileModifiedTime", 5);
         },
         QStringList(everything).filter(QRegularExpression(QStringLiteral("^(?!sub/deep/old)")))},
        {"accessed in 5 days",
         [&] {
             box("chkFileModifiedTime", false);
             box("chkFileLastAccessedTime", true);
             number("txtFileLastAccessedTime", 5);
         },
         QStringList(everything).filter(QRegularExpression(QStringLiteral("^(?!sub/deep/old)")))},
        {"created in 1 day",
         [&] {
             box("chkFileLastAccessedTime", false);
             box("chkFileCreatedTime", true);
             number("txtFileCreatedTime", 1);
         },
         everything},
        // 0 days: at or after the moment Start was pressed; every file is older.
        {"created in 0 days", [&] { number("txtFileCreatedTime", 0); }, {}},
        {"time group off", [&] { group("gbFileTime", false); }, everything},
    };
    for (const Case& c : cases) {
        c.set();
        QStringList found = Search();
        QStringList expected = c.expected;
        // The unreadable folder is left out silently; only where root's powers cannot be
        // taken away is it readable, and then its store is found like any other.
        if (unreadableIsReadable_) found.removeAll(QStringLiteral("unreadable/secret.pst"));
        found.sort();
        expected.sort();
        QVERIFY2(found == expected,
                 qPrintable(QStringLiteral("%1: found %2").arg(QString::fromLatin1(c.name), found.join(u' '))));
        QCOMPARE(boxes_->SeenTexts(),
                 QStringList({QStringLiteral("Search is completed. %1 file(s) found.").arg(expected.size())}));
        QCOMPARE(Child<QLabel>(form_.get(), "labProgress")->text(),
                 QStringLiteral("%1 file(s) found").arg(expected.size()));
    }
    // The details of one row.
    QCOMPARE(Search().size(), everything.size());
    QVERIFY2(!unreadableIsReadable_,
             "root's powers over permissions could not be taken away; the unreadable folder was not tested");
    const QTreeWidgetItem* big =
        Child<QTreeWidget>(form_.get(), "fl")->findItems(QStringLiteral("big.pst"), Qt::MatchExactly).value(0);
    QVERIFY(big);
    QCOMPARE(big->text(1), Tree() + u'/');
    QCOMPARE(big->text(2), QStringLiteral("307200"));
    QCOMPARE(big->text(5), QLocale::system().toString(QFileInfo(Tree(QStringLiteral("big.pst"))).lastModified(),
                                                      QLocale::ShortFormat));
    for (int c = 3; c <= 5; ++c) QVERIFY(!big->text(c).isEmpty());
}

void SearchWindowTest::advancedPanel()
{
    auto* panel = Child<QWidget>(form_.get(), "palAdvOptions");
    auto* toggle = Child<QToolButton>(form_.get(), "btnAdvOptions");
    const int height = form_->height();
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(panel->isVisible());
    QVERIFY(panel->isEnabled());
    QCOMPARE(panel->height(), 131);
    QCOMPARE(form_->height(), height + 131);
    QCOMPARE(form_->minimumHeight(), 497 + 131);
    QCOMPARE(toggle->text(), QStringLiteral("&-"));

    // Inside a checked group each number follows its own box; an unchecked group disables all.
    auto* sizeGroup = Child<QGroupBox>(form_.get(), "gbFileSize");
    auto* minBox = Child<QCheckBox>(form_.get(), "chkFileMinSize");
    auto* minSpin = Child<QSpinBox>(form_.get(), "txtMinSize");
    QVERIFY(!minBox->isEnabled());
    sizeGroup->setFocus();
    QTest::keyClick(sizeGroup, Qt::Key_Space);
    QVERIFY(minBox->isEnabled());
    QVERIFY(!minSpin->isEnabled());
    QTest::mouseClick(minBox, Qt::LeftButton, {}, QPoint(5, minBox->height() / 2));
    QVERIFY(minSpin->isEnabled());
    QVERIFY(!Child<QSpinBox>(form_.get(), "txtMaxSize")->isEnabled());
    minSpin->setFocus();
    minSpin->selectAll();
    QTest::keyClicks(minSpin, QStringLiteral("100"));
    QTest::keyClick(sizeGroup, Qt::Key_Space);
    QVERIFY(!minBox->isEnabled() && !minSpin->isEnabled());
    QTest::keyClick(sizeGroup, Qt::Key_Space);
    QVERIFY(minSpin->isEnabled());

    Child<QComboBox>(form_.get(), "cmbDirectory")->setEditText(Tree());
    Search();
    SaveScreenshot(form_.get(), QStringLiteral("9-search-results-advanced"));
    // Closed, the panel keeps its criteria in force.
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(!panel->isVisible());
    QCOMPARE(form_->height(), height);
    QCOMPARE(form_->minimumHeight(), 497);
    QCOMPARE(toggle->text(), QStringLiteral("&+"));
    QStringList found = Search();
    found.sort();
    QCOMPARE(found, QStringList({"big.pst", "link.pst"}));
}

void SearchWindowTest::severalFolders()
{
    // Folders separated by ';', blanks around them and empty entries ignored; one that
    // does not exist yields nothing and no message.
    Child<QComboBox>(form_.get(), "cmbDirectory")
        ->setEditText(QStringLiteral(" %1 ;;%2; /nonexistent-folder-of-the-test ")
                          .arg(Tree(QStringLiteral("sub")), Tree(QStringLiteral(".hidden"))));
    QCOMPARE(Search(), QStringList({"sub/x.PsT", "sub/deep/old.pst", ".hidden/inner.pst"}));
    // A folder below another listed folder is searched once, in its own turn.
    Child<QComboBox>(form_.get(), "cmbDirectory")
        ->setEditText(Tree(QStringLiteral("sub")) + u';' + Tree(QStringLiteral("sub/deep")));
    QCOMPARE(Search(), QStringList({"sub/x.PsT", "sub/deep/old.pst"}));
}

void SearchWindowTest::otherFileSystemsNotEntered()
{
    // /dev/shm is a memory file system mounted below /dev almost everywhere: searched from
    // /dev it is left out, named itself it is searched.
    struct stat dev {
    }, shm{};
    if (stat("/dev", &dev) != 0 || stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev)
        QSKIP("/dev/shm is no file system of its own here");
    QTemporaryDir inShm(QStringLiteral("/dev/shm/krv-search-test-XXXXXX"));
    QVERIFY(inShm.isValid());
    QVERIFY(WriteZeroFile(inShm.filePath(QStringLiteral("inside.pst")), 10));
    const QString found = QFileInfo(inShm.path()).fileName() + QStringLiteral("/inside.pst");
    auto* folders = Child<QComboBox>(form_.get(), "cmbDirectory");
    folders->setEditText(QStringLiteral("/dev"));
    QVERIFY(!Search().join(u' ').contains(found));
    QCOMPARE(boxes_->SeenTexts().size(), 1);
    folders->setEditText(QStringLiteral("/dev/shm"));
    const QStringList inside = Search();
    QVERIFY2(inside.join(u' ').contains(found), qPrintable(inside.join(u' ')));
}

void SearchWindowTest::stopAndClose()
{
    // A tree wide enough that the search is still in its first folders when the events
    // queued before it are processed.
    QTemporaryDir wide;
    for (int i = 0; i < 200; ++i) {
        const QString folder = wide.filePath(QStringLiteral("d%1").arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(WriteZeroFile(folder + QStringLiteral("/m.pst"), 1));
    }
    Child<QComboBox>(form_.get(), "cmbDirectory")->setEditText(wide.path());
    auto* button = Child<QPushButton>(form_.get(), "btnSearch");
    auto* results = Child<QTreeWidget>(form_.get(), "fl");

    // Stop: pressed while the search processes events.
    QString captionWhileSearching;
    QTimer::singleShot(0, this, [&] {
        captionWhileSearching = button->text();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    boxes_->Clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(captionWhileSearching, QStringLiteral("&Stop Search"));
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Search is cancelled by the user!"}));
    QVERIFY(results->topLevelItemCount() < 200);
    QVERIFY(!form_->Searching());
    QCOMPARE(button->text(), QStringLiteral("&Start Search"));
    QVERIFY(Child<QLabel>(form_.get(), "labDir")->text().isEmpty());
    QVERIFY(form_->isVisible());

    // Closing during a search, answered No: the search goes on to its end.
    boxes_->Clear();
    boxes_->QueueButton(QMessageBox::No);
    QTimer::singleShot(0, this,
                       [&] { QTest::mouseClick(Child<QPushButton>(form_.get(), "btnCancel"), Qt::LeftButton); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Cancel the current search and close the search window?",
                                               "Search is completed. 200 file(s) found."}));
    QVERIFY(form_->isVisible());

    // Answered Yes: the window closes without the cancel box.
    boxes_->Clear();
    boxes_->QueueButton(QMessageBox::Yes);
    QTimer::singleShot(0, this, [&] { form_->close(); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Cancel the current search and close the search window?"}));
    QVERIFY(!form_->isVisible());
    QVERIFY(!form_->Searching());
}

void SearchWindowTest::resultsHandedBack()
{
    form_.reset();
    TMainForm main(QStringLiteral("SearchWindowTest"));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    TSearchForm* search = main.SearchForm();
    auto run = [this, search](std::function<void(QTreeWidget*)> select) {
        boxes_->Queue([search, select](QWidget* w) {
            if (w != search) return;
            QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnSearch")), Qt::LeftButton);
            select(search->findChild<QTreeWidget*>(QStringLiteral("fl")));
            QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        });
    };
    search->findChild<QComboBox*>(QStringLiteral("cmbDirectory"))->setEditText(Tree(QStringLiteral("sub")));

    // Single selection, from the Repair page: the chosen result becomes the source.
    QAbstractItemView::SelectionMode mode = QAbstractItemView::NoSelection;
    run([&mode](QTreeWidget* results) {
        mode = results->selectionMode();
        const QRect second = results->visualItemRect(results->topLevelItem(1));
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, second.center());
    });
    QTest::mouseClick(main.findChild<QToolButton*>(QStringLiteral("btnSrcSearch")), Qt::LeftButton);
    QCOMPARE(mode, QAbstractItemView::SingleSelection);
    QCOMPARE(main.findChild<QLineEdit*>(QStringLiteral("txtSrcFile"))->text(),
             Tree(QStringLiteral("sub/deep/old.pst")));

    // OK with nothing selected: an error, and the window stays; Cancel hands back nothing.
    boxes_->Clear();
    bool stayed = false;
    boxes_->Queue([&](QWidget* w) {
        if (w != search) return;
        search->findChild<QTreeWidget*>(QStringLiteral("fl"))->clearSelection();
        QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        stayed = search->isVisible();
        QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    QTest::mouseClick(main.findChild<QToolButton*>(QStringLiteral("btnSrcSearch")), Qt::LeftButton);
    QVERIFY(stayed);
    QCOMPARE(boxes_->SeenTexts().mid(1),
             QStringList({"Please select the file(s) to be repaired from the search results!"}));
    QCOMPARE(main.findChild<QLineEdit*>(QStringLiteral("txtSrcFile"))->text(),
             Tree(QStringLiteral("sub/deep/old.pst")));

    // Multiple selection, from the Batch Repair page; reopened, the window shows the
    // previous results.
    QTest::mouseClick(main.findChild<QToolButton*>(QStringLiteral("btnBatchRepairTab")), Qt::LeftButton);
    int resultsAtOpening = -1;
    boxes_->Queue([&](QWidget* w) {
        if (w != search) return;
        auto* results = search->findChild<QTreeWidget*>(QStringLiteral("fl"));
        resultsAtOpening = results->topLevelItemCount();
        QCOMPARE(results->selectionMode(), QAbstractItemView::ExtendedSelection);
        results->clearSelection();
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                          results->visualItemRect(results->topLevelItem(1)).center());
        QTest::mouseClick(results->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          results->visualItemRect(results->topLevelItem(0)).center());
        QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    QTest::mouseClick(main.findChild<QPushButton*>(QStringLiteral("btnSearchFiles")), Qt::LeftButton);
    QCOMPARE(resultsAtOpening, 2);
    auto* list = main.findChild<QTreeWidget*>(QStringLiteral("FileList"));
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), Tree(QStringLiteral("sub/x.PsT")));
    QCOMPARE(list->topLevelItem(1)->text(0), Tree(QStringLiteral("sub/deep/old.pst")));

    // Cancel hands back nothing.
    boxes_->Queue([search](QWidget* w) {
        if (w != search) return;
        search->findChild<QTreeWidget*>(QStringLiteral("fl"))->topLevelItem(0)->setSelected(true);
        QTest::mouseClick(search->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    QTest::mouseClick(main.findChild<QPushButton*>(QStringLiteral("btnSearchFiles")), Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 2);
}

void SearchWindowTest::localHarddrives()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mountinfo"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
               "23 1 0:22 / /sys rw - sysfs sysfs rw\n"
               "24 1 0:5 / /dev rw - devtmpfs devtmpfs rw\n"
               "25 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
               "26 25 0:23 / /tmp rw - tmpfs tmpfs rw\n"
               "27 25 8:2 / /home rw - xfs /dev/sda2 rw\n"
               "28 25 0:40 / /srv/share rw - nfs4 server:/export rw\n"
               "29 25 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
               "30 25 8:1 /var/lib/x /var/lib/y rw - ext4 /dev/sda1 rw\n"
               "31 25 0:45 / /data rw - zfs tank/data rw\n"
               "32 25 8:17 / /media/My\\040Disk rw - vfat /dev/sdb1 rw\n"
               "33 25 0:50 / /cgroup rw - cgroup2 cgroup2 rw\n"
               "34 25 0:51 / /overlay rw - overlay overlay rw,lowerdir=/a\n"
               "35 garbage line\n");
    file.close();
    QCOMPARE(LocalDiskMountPoints(ReadMountTable(path)), QStringList({"/", "/home", "/data", "/media/My Disk"}));
    // A container whose root is an overlay: the search still looks in "/".
    QCOMPARE(LocalDiskMountPoints({}), QStringList({"/"}));
    QCOMPARE(ReadMountTable(path).size(), 13);
}

QTEST_MAIN(SearchWindowTest)
#include "SearchWindowTest.moc"
