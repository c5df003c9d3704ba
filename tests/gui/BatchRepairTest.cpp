// BatchRepairTest.cpp: the Batch Repair page driven as a user drives it: a run over real
// damaged stores and a file that is no store, Stop in the middle, the overwrite question
// and its answers for the rest of the run, adding and removing files, and the search
// window's results added to the list.
#include "GuiTestSupport.h"

#include "frontend/app/MainFrm.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

const QString kProgram = QStringLiteral("BatchRepairTest");

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("the window has no %s", name);
    return c;
}

struct Row {
    QString source, target, status;
    bool operator==(const Row& o) const { return source == o.source && target == o.target && status == o.status; }
};

char* toString(const Row& r)
{
    return QTest::toString(QStringLiteral("(%1 | %2 | %3)").arg(r.source, r.target, r.status));
}

// Answers the overwrite question: the button of the role given.
ModalAnswerer::Answer Press(QMessageBox::StandardButton button)
{
    return [button](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->button(button)) box->button(button)->click();
    };
}

} // namespace

class BatchRepairTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runOverStoresAndNonStore();
    void stopInTheMiddle();
    void overwriteAnswers_data();
    void overwriteAnswers();
    void outputLinkedToSource();
    void addAndRemoveFiles();
    void searchResultsAdded();

private:
    void Open();
    QList<Row> Rows() const;
    void Start();
    QString Path(const QString& name) const { return dir_->filePath(name); }

    QTemporaryDir stores_;
    QString damaged_; // a small store that lost its block index
    std::unique_ptr<PrivateUserFolders> home_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ModalAnswerer> boxes_;
    std::unique_ptr<TMainForm> form_;
};

void BatchRepairTest::initTestCase()
{
    const QString healthy = stores_.filePath(QStringLiteral("healthy.pst"));
    damaged_ = stores_.filePath(QStringLiteral("damaged.pst"));
    QString output;
    QVERIFY2(RunTool(QStringLiteral("krv-mkpst"),
                     {healthy, QStringLiteral("--messages"), QStringLiteral("4"), QStringLiteral("--folders"),
                      QStringLiteral("2"), QStringLiteral("--depth"), QStringLiteral("1"), QStringLiteral("--seed"),
                      QStringLiteral("3"), QStringLiteral("--quiet")},
                     &output),
             qPrintable(output));
    QVERIFY2(RunTool(QStringLiteral("krv-damage"),
                     {healthy, damaged_, QStringLiteral("--kind"), QStringLiteral("kill-bbt")}, &output),
             qPrintable(output));
}

void BatchRepairTest::init()
{
    home_ = std::make_unique<PrivateUserFolders>();
    dir_ = std::make_unique<QTemporaryDir>();
    boxes_ = std::make_unique<ModalAnswerer>();
}

void BatchRepairTest::cleanup()
{
    form_.reset();
    boxes_.reset();
    dir_.reset();
    home_.reset();
}

void BatchRepairTest::Open()
{
    form_ = std::make_unique<TMainForm>(kProgram);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTest::mouseClick(Child<QToolButton>(form_.get(), "btnBatchRepairTab"), Qt::LeftButton);
}

QList<Row> BatchRepairTest::Rows() const
{
    QList<Row> rows;
    auto* list = Child<QTreeWidget>(form_.get(), "FileList");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows << Row{item->text(0), item->text(1), item->text(2)};
    }
    return rows;
}

void BatchRepairTest::Start()
{
    // The click returns once the run, its boxes included, is over.
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnRepairFiles"), Qt::LeftButton);
    QVERIFY(!form_->Running());
}

void BatchRepairTest::runOverStoresAndNonStore()
{
    const QString a = Path(QStringLiteral("a.pst")), b = Path(QStringLiteral("b.pst")),
                  junk = Path(QStringLiteral("junk.pst"));
    QVERIFY(QFile::copy(damaged_, a));
    QVERIFY(QFile::copy(damaged_, b));
    QVERIFY(WriteZeroFile(junk, 64 * 1024));
    Open();
    for (const QString& f : {a, junk, b}) form_->AddFileToList(f);
    QCOMPARE(Rows().first(), (Row{a, QString(), QStringLiteral("Not Repaired")}));

    // While a file is repaired the log shows the engine's lines; before and after it is empty.
    auto* log = Child<QPlainTextEdit>(form_.get(), "txtRepairLog");
    auto* button = Child<QPushButton>(form_.get(), "btnRepairFiles");
    QStringList seenDuringRun;
    QString captionDuringRun;
    connect(log, &QPlainTextEdit::textChanged, this, [&] {
        if (log->toPlainText().isEmpty()) return;
        seenDuringRun = log->toPlainText().split(u'\n');
        captionDuringRun = button->text();
    });
    Start();
    QCOMPARE(Rows(), (QList<Row>{{a, Path(QStringLiteral("a_fixed.pst")), QStringLiteral("Successful")},
                                 {junk, Path(QStringLiteral("junk_fixed.pst")), QStringLiteral("Failed")},
                                 {b, Path(QStringLiteral("b_fixed.pst")), QStringLiteral("Successful")}}));
    QCOMPARE(boxes_->SeenTexts(), QStringList({"2 file(s) repaired successfully"}));
    QVERIFY(QFileInfo(Path(QStringLiteral("a_fixed.pst"))).size() > 0);
    QVERIFY(QFileInfo(Path(QStringLiteral("b_fixed.pst"))).size() > 0);
    QVERIFY2(seenDuringRun.contains(QStringLiteral("Analyzing the source file ...")),
             qPrintable(seenDuringRun.join(u'\n')));
    QCOMPARE(captionDuringRun, QStringLiteral("&Stop Repair"));
    QVERIFY(log->toPlainText().isEmpty());
    QVERIFY(form_->LogLines().isEmpty());
    QCOMPARE(button->text(), QStringLiteral("&Start Repair"));
    QCOMPARE(Child<QProgressBar>(form_.get(), "Gauge")->value(), 100);
    SaveScreenshot(form_.get(), QStringLiteral("8-batch-after-run"));

    // A second run starts every row afresh; a source that is gone now fails.
    boxes_->Clear();
    QVERIFY(QFile::remove(a));
    boxes_->QueueButton(QMessageBox::YesToAll);
    Start();
    QCOMPARE(Rows()[0].status, QStringLiteral("Failed"));
    QCOMPARE(Rows()[2].status, QStringLiteral("Successful"));
    // Yes to All at the first existing output: no more questions.
    QCOMPARE(boxes_->SeenTexts(), QStringList({"A file named 'a_fixed.pst' already exists. Overwrite it?",
                                               "1 file(s) repaired successfully"}));
}

void BatchRepairTest::stopInTheMiddle()
{
    const QString first = Path(QStringLiteral("first.pst")), big = Path(QStringLiteral("big.pst")),
                  last = Path(QStringLiteral("last.pst"));
    QVERIFY(QFile::copy(damaged_, first));
    QVERIFY(WriteZeroFile(big, 8 * 1024 * 1024));
    QVERIFY(QFile::copy(damaged_, last));
    Open();
    for (const QString& f : {first, big, last}) form_->AddFileToList(f);
    auto* button = Child<QPushButton>(form_.get(), "btnRepairFiles");
    auto* list = Child<QTreeWidget>(form_.get(), "FileList");
    bool stopped = false;
    bool removeEnabledDuringRun = true;
    connect(Child<QProgressBar>(form_.get(), "Gauge"), &QProgressBar::valueChanged, this, [&](int value) {
        // In the scan of the second file: Stop, as a user would while the window pumps events.
        if (stopped || value < 17 || list->topLevelItem(0)->text(2) != u"Successful") return;
        stopped = true;
        removeEnabledDuringRun = Child<QPushButton>(form_.get(), "btnRemoveAll")->isEnabled();
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier); // ignored: the run holds its rows
        QTest::mouseClick(button, Qt::LeftButton);
    });
    Start();
    QVERIFY(stopped);
    QVERIFY(!removeEnabledDuringRun);
    QCOMPARE(Rows(), (QList<Row>{{first, Path(QStringLiteral("first_fixed.pst")), QStringLiteral("Successful")},
                                 {big, Path(QStringLiteral("big_fixed.pst")), QStringLiteral("Aborted")},
                                 {last, QString(), QStringLiteral("Not Repaired")}}));
    QCOMPARE(boxes_->SeenTexts(), QStringList({"1 file(s) repaired successfully"}));
    QVERIFY(!QFileInfo::exists(Path(QStringLiteral("last_fixed.pst"))));
    QVERIFY(Child<QPushButton>(form_.get(), "btnRemoveAll")->isEnabled());
    // Until the next run every abort query is answered with a stop.
    QVERIFY(form_->OnMessage(51, nullptr));
}

void BatchRepairTest::overwriteAnswers_data()
{
    // Sources that are no stores (the engine fails them at once): "Failed" shows that a
    // row was repaired, "Not Repaired" that it was skipped.
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("existing");  // outputs present before the run
    QTest::addColumn<QList<int>>("answers");    // buttons pressed, in order
    QTest::addColumn<QStringList>("questions"); // files the question named
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QStringList>("targets"); // "-" for no target shown

    const QStringList four = {"a.pst", "b.pst", "c.pst", "d.pst"};
    QTest::newRow("yes to all") << four << QStringList{"a_fixed.pst", "b_fixed.pst", "d_fixed.pst"}
                                << QList<int>{QMessageBox::YesToAll} << QStringList{"a_fixed.pst"}
                                << QStringList{"Failed", "Failed", "Failed", "Failed"}
                                << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no to all") << four << QStringList{"a_fixed.pst", "b_fixed.pst", "d_fixed.pst"}
                               << QList<int>{QMessageBox::NoToAll} << QStringList{"a_fixed.pst"}
                               << QStringList{"Not Repaired", "Not Repaired", "Failed", "Not Repaired"}
                               << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no, then yes") << four << QStringList{"a_fixed.pst", "c_fixed.pst"}
                                  << QList<int>{QMessageBox::No, QMessageBox::Yes}
                                  << QStringList{"a_fixed.pst", "c_fixed.pst"}
                                  << QStringList{"Not Repaired", "Failed", "Failed", "Failed"}
                                  << QStringList{"a", "b", "c", "d"};
    QTest::newRow("cancel") << four << QStringList{"b_fixed.pst"} << QList<int>{QMessageBox::Cancel}
                            << QStringList{"b_fixed.pst"}
                            << QStringList{"Failed", "Not Repaired", "Not Repaired", "Not Repaired"}
                            << QStringList{"a", "b", "-", "-"};
    QTest::newRow("escape closes as cancel")
        << four << QStringList{"a_fixed.pst"} << QList<int>{-1} << QStringList{"a_fixed.pst"}
        << QStringList{"Not Repaired", "Not Repaired", "Not Repaired", "Not Repaired"}
        << QStringList{"a", "-", "-", "-"};
    // The first row writes the second row's source, so the question comes up for it.
    QTest::newRow("output is a later source")
        << QStringList{"x.pst", "x_fixed.pst"} << QStringList{"x_fixed.pst"} << QList<int>{QMessageBox::No}
        << QStringList{"x_fixed.pst"} << QStringList{"Not Repaired", "Failed"} << QStringList{"x", "x_fixed"};
}

void BatchRepairTest::overwriteAnswers()
{
    QFETCH(QStringList, sources);
    QFETCH(QStringList, existing);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, questions);
    QFETCH(QStringList, statuses);
    QFETCH(QStringList, targets);
    for (const QString& name : sources) QVERIFY(WriteZeroFile(Path(name), 1024));
    for (const QString& name : existing)
        if (!QFileInfo::exists(Path(name))) QVERIFY(WriteZeroFile(Path(name), 7));
    Open();
    for (const QString& name : sources) form_->AddFileToList(Path(name));
    for (int button : answers) {
        if (button < 0)
            boxes_->Queue([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        else
            boxes_->Queue(Press(QMessageBox::StandardButton(button)));
    }
    Start();

    QStringList expectedBoxes;
    for (const QString& q : questions)
        expectedBoxes << QStringLiteral("A file named '%1' already exists. Overwrite it?").arg(q);
    expectedBoxes << QStringLiteral("0 file(s) repaired successfully");
    QCOMPARE(boxes_->SeenTexts(), expectedBoxes);
    const QList<Row> rows = Rows();
    QCOMPARE(rows.size(), sources.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].status, statuses[i]);
        QCOMPARE(rows[i].target, targets[i] == u"-" ? QString() : Path(targets[i] + QStringLiteral("_fixed.pst")));
    }
    // A file the user chose to keep is untouched.
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (statuses[i] == u"Not Repaired" && existing.contains(QFileInfo(rows[i].target).fileName()) &&
            !sources.contains(QFileInfo(rows[i].target).fileName()))
            QCOMPARE(QFileInfo(rows[i].target).size(), 7);
}

void BatchRepairTest::outputLinkedToSource()
{
    // x_fixed.pst is a link to x.pst: writing it would destroy the file to be repaired.
    const QString source = Path(QStringLiteral("x.pst"));
    QVERIFY(QFile::copy(damaged_, source));
    const qint64 size = QFileInfo(source).size();
    QVERIFY(QFile::link(source, Path(QStringLiteral("x_fixed.pst"))));
    Open();
    form_->AddFileToList(source);
    boxes_->QueueButton(QMessageBox::Yes);
    Start();
    QCOMPARE(Rows(), (QList<Row>{{source, Path(QStringLiteral("x_fixed.pst")), QStringLiteral("Failed")}}));
    QCOMPARE(boxes_->SeenTexts(), QStringList({"A file named 'x_fixed.pst' already exists. Overwrite it?",
                                               "0 file(s) repaired successfully"}));
    QCOMPARE(QFileInfo(source).size(), size);
    QFile original(damaged_), kept(source);
    QVERIFY(original.open(QIODevice::ReadOnly) && kept.open(QIODevice::ReadOnly));
    QVERIFY(original.readAll() == kept.readAll());
}

void BatchRepairTest::addAndRemoveFiles()
{
    Open();
    auto* list = Child<QTreeWidget>(form_.get(), "FileList");
    // An empty list: nothing to start.
    Start();
    QCOMPARE(boxes_->SeenTexts(), QStringList({"Please add files to the list first"}));
    QCOMPARE(Child<QPushButton>(form_.get(), "btnRepairFiles")->text(), QStringLiteral("&Start Repair"));

    for (const char* name : {"a.pst", "A.PST", "b.pst", "c.pst"})
        QVERIFY(WriteZeroFile(Path(QString::fromLatin1(name)), 10));
    form_->AddFileToList(Path(QStringLiteral("a.pst")));
    // Add Files: several files chosen at once; one of them is listed already, and a name
    // that differs only in case is another file here.
    QString dialogFolder;
    bool multiple = false;
    boxes_->Queue([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) return;
        multiple = dialog->fileMode() == QFileDialog::ExistingFiles;
        dialog->setDirectory(dir_->path());
        dialogFolder = dialog->directory().absolutePath();
        QPointer<QFileDialog> alive(dialog);
        for (int attempt = 0; attempt < 100 && alive && alive->isVisible(); ++attempt) {
            if (auto* name = alive->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(QStringLiteral("\"b.pst\" \"a.pst\" \"A.PST\""));
            static_cast<QDialog*>(alive.data())->accept();
            if (alive && alive->isVisible()) QTest::qWait(20);
        }
    });
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnAddFiles"), Qt::LeftButton);
    QVERIFY(multiple);
    QStringList sources;
    for (const Row& r : Rows()) sources << r.source;
    QCOMPARE(sources, QStringList({Path("a.pst"), Path("b.pst"), Path("A.PST")}));
    for (const Row& r : Rows()) QCOMPARE(r.status, QStringLiteral("Not Repaired"));

    form_->AddFileToList(Path(QStringLiteral("c.pst")));
    // Remove Files deletes the selected rows, Delete too; Shift+Delete empties the list.
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnRemoveFiles"), Qt::LeftButton);
    sources.clear();
    for (const Row& r : Rows()) sources << r.source;
    QCOMPARE(sources, QStringList({Path("b.pst"), Path("c.pst")}));
    list->setFocus();
    list->clearSelection();
    list->topLevelItem(1)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(Rows().size(), 1);
    QCOMPARE(Rows().first().source, Path("b.pst"));
    form_->AddFileToList(Path(QStringLiteral("c.pst")));
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(Rows().size(), 0);
    form_->AddFileToList(Path(QStringLiteral("c.pst")));
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnRemoveAll"), Qt::LeftButton);
    QCOMPARE(Rows().size(), 0);
}

void BatchRepairTest::searchResultsAdded()
{
    QVERIFY(QDir().mkpath(Path(QStringLiteral("tree/sub"))));
    for (const char* name : {"tree/one.pst", "tree/sub/Two.PST", "tree/sub/three.pst", "tree/notes.txt"})
        QVERIFY(WriteZeroFile(Path(QString::fromLatin1(name)), 10));
    Open();
    form_->AddFileToList(Path(QStringLiteral("tree/sub/three.pst")));
    bool multiSelection = false;
    boxes_->Queue([&](QWidget* w) {
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("cmbDirectory"));
        if (!combo) return;
        combo->setEditText(Path(QStringLiteral("tree")));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnSearch")), Qt::LeftButton);
        auto* results = w->findChild<QTreeWidget*>(QStringLiteral("fl"));
        multiSelection = results->selectionMode() == QAbstractItemView::ExtendedSelection;
        for (int i = 0; i < results->topLevelItemCount(); ++i) results->topLevelItem(i)->setSelected(true);
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(form_.get(), "btnSearchFiles"), Qt::LeftButton);
    QVERIFY(multiSelection);
    QStringList sources;
    for (const Row& r : Rows()) sources << r.source;
    // In the result list's order (each folder's names before its subfolders), the one listed already once.
    QCOMPARE(sources, QStringList({Path("tree/sub/three.pst"), Path("tree/one.pst"), Path("tree/sub/Two.PST")}));
    QCOMPARE(boxes_->SeenTexts().mid(1), QStringList({"Search is completed. 3 file(s) found."}));
}

QTEST_MAIN(BatchRepairTest)
#include "BatchRepairTest.moc"
