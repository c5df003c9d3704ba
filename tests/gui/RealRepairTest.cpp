// RealRepairTest.cpp: one real single repair through the window: a store made by
// krv-mkpst and damaged by krv-damage goes in, Start is pressed, the completion window is
// closed, the log is read line by line, and libpff's pffinfo opens what came out.
#include "GuiTestSupport.h"

#include "frontend/app/MainFrm.h"
#include "frontend/framework/TrelvUtils.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class RealRepairTest : public QObject {
    Q_OBJECT

private slots:
    void repairOfDamagedStore();
};

void RealRepairTest::repairOfDamagedStore()
{
    qunsetenv("KRV_CODEPAGE");
    PrivateUserFolders folders;
    QTemporaryDir dir;
    const QString healthy = dir.filePath(QStringLiteral("healthy.pst"));
    const QString manifest = dir.filePath(QStringLiteral("healthy.json"));
    const QString source = dir.filePath(QStringLiteral("damaged.pst"));
    const QString output = dir.filePath(QStringLiteral("damaged_fixed.pst"));
    QString toolOutput;
    QVERIFY2(RunTool(QStringLiteral("krv-mkpst"),
                     {healthy, QStringLiteral("--messages"), QStringLiteral("8"), QStringLiteral("--folders"),
                      QStringLiteral("3"), QStringLiteral("--depth"), QStringLiteral("1"), QStringLiteral("--seed"),
                      QStringLiteral("7"), QStringLiteral("--quiet"), QStringLiteral("--manifest"), manifest},
                     &toolOutput),
             qPrintable(toolOutput));
    // The block index is gone: only the scan of the whole file finds the blocks again.
    QVERIFY2(RunTool(QStringLiteral("krv-damage"),
                     {healthy, source, QStringLiteral("--kind"), QStringLiteral("kill-bbt")}, &toolOutput),
             qPrintable(toolOutput));
    QFile manifestFile(manifest);
    QVERIFY(manifestFile.open(QIODevice::ReadOnly));
    const QJsonArray items =
        QJsonDocument::fromJson(manifestFile.readAll()).object().value(QStringLiteral("items")).toArray();
    QCOMPARE(items.size(), 8);
    QStringList subjects;
    for (const QJsonValue& item : items) subjects << item.toObject().value(QStringLiteral("subject")).toString();

    ModalAnswerer boxes;
    TMainForm form(QStringLiteral("RealRepairTest"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* src = form.findChild<QLineEdit*>(QStringLiteral("txtSrcFile"));
    src->setFocus();
    QTest::keyClicks(src, source);
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("txtDstFile"))->text(), output);
    auto* start = form.findChild<QPushButton*>(QStringLiteral("btnRepair"));
    QVERIFY(start->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(!form.Running());

    const QStringList log = form.LogLines();
    const QString sep = SeparatorLine();
    const QString all = log.join(u'\n');
    QVERIFY2(log.size() > 12, qPrintable(all));
    QCOMPARE(log.mid(0, 6), QStringList({QStringLiteral("Start repair process ..."), sep,
                                         QStringLiteral("File to be repaired: '%1'; File size = %2 bytes")
                                             .arg(source, ThousandsText(QFileInfo(source).size())),
                                         QStringLiteral("Output fixed file as: '%1'").arg(output), sep,
                                         QStringLiteral("Analyzing the source file ...")}));
    // The engine's lines: one per message, folder and loose attachment, nothing else.
    static const QRegularExpression itemLine(QStringLiteral("^Recover (message|folder|attachment) '(.*)' \\.\\.\\.$"));
    const qsizetype tail = log.size() - 6;
    QStringList loggedSubjects;
    for (qsizetype i = 6; i < tail; ++i) {
        QRegularExpressionMatch m = itemLine.match(log[i]);
        QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("line %1: %2\n%3").arg(i).arg(log[i], all)));
        if (m.captured(1) == u"message") loggedSubjects << m.captured(2);
    }
    // Every message of the store is written once; the deeper passes may add what they
    // find beyond the folder tree.
    for (const QString& subject : subjects)
        QVERIFY2(loggedSubjects.count(subject) == 1, qPrintable(subject + QStringLiteral("\n") + all));
    // Folder names travel as 8-bit text in the code page and arrive as they were written.
    QVERIFY2(all.contains(QStringLiteral("Recover folder 'Crème brûlée 01' ...")), qPrintable(all));

    QCOMPARE(log[tail], sep);
    QVERIFY(QRegularExpression(QStringLiteral("^Consumed time: \\d+ hour\\(s\\) \\d+ minute\\(s\\) \\d+ second\\(s\\) "
                                              "\\d+ millisecond\\(s\\)\\.$"))
                .match(log[tail + 1])
                .hasMatch());
    QCOMPARE(log.mid(tail + 2, 3), QStringList({sep, QStringLiteral("Repair process completes."), sep}));
    static const QRegularExpression completion(QStringLiteral(
        "^(\\d+) items in file '(.*)' is recoverable\\. Normal recovered items are put in their original "
        "folders\\. Lost and found items are put in Recovered_GroupXXX folders\\.$"));
    QRegularExpressionMatch done = completion.match(log.last());
    QVERIFY2(done.hasMatch(), qPrintable(log.last()));
    QCOMPARE(done.captured(2), source);
    QVERIFY(done.captured(1).toInt() >= 8);

    // The completion window showed the same text with its hint, and was closed.
    QCOMPARE(boxes.Seen().size(), 1);
    QCOMPARE(boxes.Seen().first().className, QStringLiteral("TMsgForm"));
    QCOMPARE(boxes.Seen().first().title, QStringLiteral("Information"));
    QCOMPARE(boxes.Seen().first().text,
             log.last() +
                 QStringLiteral(" Or use Outlook to open the fixed PST file and see the recovered items in it."));
    SaveScreenshot(&form, QStringLiteral("6-finished-repair"));

    // An independent reader opens the result.
    const QString pffinfo = QStandardPaths::findExecutable(QStringLiteral("pffinfo"));
    QVERIFY2(!pffinfo.isEmpty(), "pffinfo (pff-tools) is not installed");
    QVERIFY2(RunProgram(pffinfo, {output}, &toolOutput), qPrintable(toolOutput));
    QVERIFY2(toolOutput.contains(QStringLiteral("Personal Folder File")), qPrintable(toolOutput));
}

QTEST_MAIN(RealRepairTest)
#include "RealRepairTest.moc"
