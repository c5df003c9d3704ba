// FrameworkTest.cpp: the framework's rules that need no window: file names, filters,
// elapsed times, the settings file and its table, the system report and the saved log.
#include "GuiTestSupport.h"

#include "frontend/app/Setting.h"
#include "frontend/framework/ElapsedTime.h"
#include "frontend/framework/IniFile.h"
#include "frontend/framework/LogFile.h"
#include "frontend/framework/TrelvInfo.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

class FrameworkTest : public QObject {
    Q_OBJECT

private slots:
    void nameRules_data();
    void nameRules();
    void filterExtension_data();
    void filterExtension();
    void elapsedTime_data();
    void elapsedTime();
    void thousands();
    void settingsDefaultsOnFirstStart();
    void settingsRoundTrip();
    void damagedSettingsFile_data();
    void damagedSettingsFile();
    void settingsFileCannotBeWritten();
    void settingsFileLocation();
    void fileVersionText();
    void systemReportParts();
    void logFileIsCrLfInCodePage();
};

void FrameworkTest::nameRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("stripped");
    QTest::addColumn<QString>("output");
    QTest::newRow("store") << "/home/u/mail/box.pst"
                           << "/home/u/mail/box"
                           << "/home/u/mail/box_fixed.pst";
    QTest::newRow("no extension") << "/home/u/mail/box"
                                  << "/home/u/mail/box"
                                  << "/home/u/mail/box_fixed";
    QTest::newRow("dot in folder") << "/home/u/mail.d/box"
                                   << "/home/u/mail.d/box"
                                   << "/home/u/mail.d/box_fixed";
    QTest::newRow("windows dot in folder") << "C:\\data.old\\mail"
                                           << "C:\\data.old\\mail"
                                           << "C:\\data.old\\mail_fixed";
    QTest::newRow("windows store") << "C:\\mail\\box.pst"
                                   << "C:\\mail\\box"
                                   << "C:\\mail\\box_fixed.pst";
    QTest::newRow("several dots") << "a.b.c"
                                  << "a.b"
                                  << "a.b_fixed.c";
    QTest::newRow("no dot") << "mailbox"
                            << "mailbox"
                            << "mailbox_fixed";
    QTest::newRow("hidden file") << "/home/u/.pst"
                                 << "/home/u/"
                                 << "/home/u/_fixed.pst";
    // What a repair writes is a .pst, whatever the source was.
    QTest::newRow("offline store") << "/srv/Outlook.OST"
                                   << "/srv/Outlook"
                                   << "/srv/Outlook_fixed.pst";
}

void FrameworkTest::nameRules()
{
    QFETCH(QString, path);
    QFETCH(QString, stripped);
    QFETCH(QString, output);
    QCOMPARE(StripExtension(path), stripped);
    QCOMPARE(DefaultOutputName(path), output);
}

void FrameworkTest::filterExtension_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("extension");
    QTest::newRow("stores") << 1 << "pst";
    QTest::newRow("all files") << 2 << "*";
    QTest::newRow("past the end") << 3 << "";
    QTest::newRow("zero") << 0 << "";
}

void FrameworkTest::filterExtension()
{
    QFETCH(int, index);
    QFETCH(QString, extension);
    const QString filter = LoadText(TrelvText::FilterStores);
    QCOMPARE(FilterExtension(filter, index), extension);
    QCOMPARE(FilterExtension(QStringLiteral("Stores|*.pst;*.ost|All|*.*"), 1), QStringLiteral("pst"));
    QCOMPARE(DialogNameFilters(filter),
             QStringList({QStringLiteral("Outlook data files (*.pst)"), QStringLiteral("All files (*.*)")}));
}

void FrameworkTest::elapsedTime_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("shortText");
    QTest::addColumn<QString>("longText");
    QTest::newRow("zero") << qint64(0) << "0 hour(s) 0 minute(s) "
                          << "Consumed time: 0 hour(s) 0 minute(s) 0 second(s) 0 millisecond(s).";
    QTest::newRow("twelve minutes") << qint64(12 * 60000) << "0 hour(s) 12 minute(s) "
                                    << "Consumed time: 0 hour(s) 12 minute(s) 0 second(s) 0 millisecond(s).";
    QTest::newRow("3 min 7.25 s") << qint64(187250) << "0 hour(s) 3 minute(s) "
                                  << "Consumed time: 0 hour(s) 3 minute(s) 7 second(s) 250 millisecond(s).";
    QTest::newRow("65 minutes") << qint64(65 * 60000) << "1 hour(s) 5 minute(s) "
                                << "Consumed time: 1 hour(s) 5 minute(s) 0 second(s) 0 millisecond(s).";
    // A difference of two date-times: the hours of the day part.
    QTest::newRow("25 hours") << qint64(25 * 3600000LL + 1) << "1 hour(s) 0 minute(s) "
                              << "Consumed time: 1 hour(s) 0 minute(s) 0 second(s) 1 millisecond(s).";
}

void FrameworkTest::elapsedTime()
{
    QFETCH(qint64, ms);
    QFETCH(QString, shortText);
    QFETCH(QString, longText);
    QCOMPARE(FormatElapsed(LoadText(TrelvText::PatternElapsed), ms), shortText);
    QCOMPARE(FormatElapsed(LoadText(TrelvText::PatternConsumedTime), ms), longText);
    QCOMPARE(FormatElapsed(QStringLiteral("hh:nn:ss.zzz"), 3723004), QStringLiteral("01:02:03.004"));
}

void FrameworkTest::thousands()
{
    QCOMPARE(ThousandsText(0), QStringLiteral("0"));
    QCOMPARE(ThousandsText(999), QStringLiteral("999"));
    QCOMPARE(ThousandsText(1000), QStringLiteral("1,000"));
    QCOMPARE(ThousandsText(271360), QStringLiteral("271,360"));
    QCOMPARE(ThousandsText(1234567890123LL), QStringLiteral("1,234,567,890,123"));
    QCOMPARE(ThousandsText(-1), QStringLiteral("-1"));
    QCOMPARE(ThousandsText(-1234), QStringLiteral("-1,234"));
}

void FrameworkTest::settingsDefaultsOnFirstStart()
{
    PrivateUserFolders home;
    TSetting s(QStringLiteral("FirstStart"));
    s.LoadSettings();
    QCOMPARE(s.OpenDirectory, WithTrailingSeparator(QDir::homePath()));
    QCOMPARE(s.OpenFilterIndex, 1);
    QCOMPARE(s.SaveFilterIndex, 1);
    QCOMPARE(s.OpenFixed, false);
    QCOMPARE(s.FastRecovery, true);
    QCOMPARE(s.HeuristicRecoverRoot, false);
    QCOMPARE(s.RecoverUnattchedAttach, true);
    QCOMPARE(s.SplitOversizePST, false);
    QCOMPARE(s.PSTFileSizeLimit, 1000);
    QCOMPARE(s.IgnoreZeroBlock, true);
    QCOMPARE(s.AlwaysIPMSubtree, true);
    QCOMPARE(s.RemoveEmptyFolder, false);
    QVERIFY(s.Level1Recovery && s.Level2Recovery && s.Level3Recovery && s.Level4Recovery && s.Level5Recovery);
    QCOMPARE(s.TempDir, GetTempDirectory());
    QCOMPARE(s.BufSize, 512);
    // Loading writes nothing.
    QVERIFY(!QFile::exists(home.SettingsFile(QStringLiteral("FirstStart"))));
}

void FrameworkTest::settingsRoundTrip()
{
    PrivateUserFolders home;
    const QString path = home.SettingsFile(QStringLiteral("RoundTrip"));
    // A value the program only reads, and a group of someone else's, survive a save.
    QVERIFY(WriteBytes(path, "[Misc]\nTrackingCode=abc\n[Other]\nKeep=1\n"));
    {
        TSetting s(QStringLiteral("RoundTrip"));
        s.LoadSettings();
        s.OpenDirectory = QStringLiteral("/srv/mail with blanks/back\\slash/");
        s.OpenFilterIndex = 2;
        s.FastRecovery = false;
        s.SplitOversizePST = true;
        s.PSTFileSizeLimit = 32767;
        s.Level3Recovery = false;
        s.TempDir = QStringLiteral("/var/tmp/line\nbreak/");
        s.BufSize = 4096;
        s.SaveSettings();
    }
    const QString text = ReadText(path);
    QVERIFY2(text.contains(QStringLiteral("FastRecovery=0\n")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("SplitOversizePST=1\n")));
    QVERIFY(text.contains(QStringLiteral("PSTFileSizeLimit=32767\n")));
    QVERIFY(text.contains(QStringLiteral("TrackingCode=abc\n")));
    QVERIFY(text.contains(QStringLiteral("[Other]\nKeep=1\n")));

    TSetting again(QStringLiteral("RoundTrip"));
    again.LoadSettings();
    QCOMPARE(again.OpenDirectory, QStringLiteral("/srv/mail with blanks/back\\slash/"));
    QCOMPARE(again.OpenFilterIndex, 2);
    QCOMPARE(again.FastRecovery, false);
    QCOMPARE(again.SplitOversizePST, true);
    QCOMPARE(again.PSTFileSizeLimit, 32767);
    QCOMPARE(again.Level3Recovery, false);
    QCOMPARE(again.Level4Recovery, true);
    QCOMPARE(again.TempDir, QStringLiteral("/var/tmp/line\nbreak/"));
    QCOMPARE(again.BufSize, 4096);

    // Two program names keep two files.
    TSetting other(QStringLiteral("RoundTripCopy"));
    other.LoadSettings();
    QCOMPARE(other.FastRecovery, true);
}

void FrameworkTest::damagedSettingsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("fastRecovery");
    QTest::addColumn<bool>("heuristicRoot");
    QTest::addColumn<int>("sizeLimit");
    QTest::addColumn<int>("bufSize");
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[Misc\x00]=\x01\n\x80\x81=\n", 16) << true << false << 1000
                                 << 512;
    QTest::newRow("values outside any group")
        << QByteArray("FastRecovery=0\nBufSize=7\n") << true << false << 1000 << 512;
    QTest::newRow("a word for a Boolean")
        << QByteArray("[Misc]\nFastRecovery=yes\nHeuristicRecoverRoot=on\n") << true << false << 1000 << 512;
    QTest::newRow("Booleans as numbers") << QByteArray("[Misc]\nFastRecovery=0\nHeuristicRecoverRoot=5\n") << false
                                         << true << 1000 << 512;
    QTest::newRow("limit below its range")
        << QByteArray("[Misc]\nPSTFileSizeLimit=0\nBufSize=-3\n") << true << false << 1 << 1;
    QTest::newRow("limit above its range")
        << QByteArray("[Misc]\nPSTFileSizeLimit=40000\nBufSize=99999999999\n") << true << false << 32767 << 65536;
    QTest::newRow("numbers as text") << QByteArray("[Misc]\nPSTFileSizeLimit=lots\nBufSize=12abc\n") << true << false
                                     << 1000 << 512;
    QTest::newRow("keys in other case, blanks")
        << QByteArray("[misc]\r\n  fastrecovery = 0 \r\n pstfilesizelimit= 25\r\n") << false << false << 25 << 512;
    QTest::newRow("larger than a settings file")
        << QByteArray("[Misc]\nFastRecovery=0\n") + QByteArray(IniFile::kMaximumSize, ';') << true << false << 1000
        << 512;
}

void FrameworkTest::damagedSettingsFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, fastRecovery);
    QFETCH(bool, heuristicRoot);
    QFETCH(int, sizeLimit);
    QFETCH(int, bufSize);
    PrivateUserFolders home;
    QVERIFY(WriteBytes(home.SettingsFile(QStringLiteral("Damaged")), content));
    TSetting s(QStringLiteral("Damaged"));
    s.LoadSettings();
    QCOMPARE(s.FastRecovery, fastRecovery);
    QCOMPARE(s.HeuristicRecoverRoot, heuristicRoot);
    QCOMPARE(s.PSTFileSizeLimit, sizeLimit);
    QCOMPARE(s.BufSize, bufSize);
    QCOMPARE(s.RecoverUnattchedAttach, true);
    // The clamped numbers are what a save writes back.
    s.SaveSettings();
    TSetting again(QStringLiteral("Damaged"));
    again.LoadSettings();
    QCOMPARE(again.PSTFileSizeLimit, sizeLimit);
    QCOMPARE(again.BufSize, bufSize);
}

void FrameworkTest::settingsFileCannotBeWritten()
{
    PrivateUserFolders home;
    // A folder where the file should be: it can be neither read nor replaced.
    QVERIFY(QDir().mkpath(home.SettingsFile(QStringLiteral("Blocked"))));
    TSetting s(QStringLiteral("Blocked"));
    s.LoadSettings();
    QCOMPARE(s.BufSize, 512);
    try {
        s.SaveSettings();
        QFAIL("a save over a folder succeeded");
    } catch (const SettingsError& e) {
        QCOMPARE(e.Text(), QStringLiteral("Failed to create key %1").arg(home.SettingsFile(QStringLiteral("Blocked"))));
    }
}

void FrameworkTest::settingsFileLocation()
{
    PrivateUserFolders home;
    QCOMPARE(SettingsFilePath(QStringLiteral("KRVRepair")), home.Path() + QStringLiteral("/KRVRepair.conf"));
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    QCOMPARE(SettingsFilePath(QStringLiteral("KRVRepair")),
             QDir::homePath() + QStringLiteral("/.config/KRVRepair.conf"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(SettingsFilePath(QStringLiteral("KRVRepair")),
             QDir::homePath() + QStringLiteral("/.config/KRVRepair.conf"));
}

void FrameworkTest::fileVersionText()
{
    FileVersion v = ParseFileVersion(QStringLiteral("2.0.1"));
    QVERIFY(v.present);
    QCOMPARE(GetFileVersionText(v, 0), QStringLiteral("2.0"));
    QCOMPARE(GetFileVersionText(v, 1), QStringLiteral("1.0"));
    QCOMPARE(GetFileVersionText(v, 2), QStringLiteral("2.0.1.0"));
    QCOMPARE(GetFileVersionText(v, 5), QStringLiteral("2.0.1.0"));
    QCOMPARE(GetFileVersionText(v, 6), QString());
    QVERIFY(!ParseFileVersion(QStringLiteral("2.x")).present);
    QVERIFY(!ParseFileVersion(QStringLiteral("70000.1")).present);
    QCOMPARE(GetFileVersionText(ParseFileVersion(QString()), 2), QString());
}

void FrameworkTest::systemReportParts()
{
    QTemporaryDir dir;
    const QString osRelease = dir.filePath(QStringLiteral("os-release"));
    const QString memInfo = dir.filePath(QStringLiteral("meminfo"));
    const QString mounts = dir.filePath(QStringLiteral("mounts"));
    QVERIFY(WriteBytes(osRelease, "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"));
    QVERIFY(WriteBytes(memInfo, "MemTotal:        2000000 kB\nMemFree:          100000 kB\nMemAvailable:    500000 kB\n"
                                "SwapTotal:       1000000 kB\nSwapFree:         250000 kB\n"
                                "CommitLimit:     2000000 kB\nCommitted_AS:    1500000 kB\n"));
    // "/" is a real file system; /proc holds no blocks and is no drive.
    QVERIFY(WriteBytes(mounts,
                       "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\nserver:/x /does/not\\040exist nfs4 rw 0 0\n"));

    SystemInfoSources sources;
    sources.programVersion = ParseFileVersion(QStringLiteral("0.1.0"));
    sources.modules.append(ModuleInfo{QStringLiteral("Engine Library"), QStringLiteral("/opt/libKRV.so"), QString()});
    sources.osReleasePath = osRelease;
    sources.memInfoPath = memInfo;
    sources.mountsPath = mounts;
    QStringList lines;
    AddSystemInfo(sources, lines);
    const QString sep(56, u'-');
    QCOMPARE(lines.value(0), QStringLiteral(" Version Information:"));
    QCOMPARE(lines.value(1), QStringLiteral("File Version: 0.1.0.0"));
    QCOMPARE(lines.value(2), QStringLiteral("Product Version: 0.1.0.0"));
    QCOMPARE(lines.value(3), QStringLiteral("Engine Library: /opt/libKRV.so"));
    QCOMPARE(lines.value(4), QStringLiteral("Engine Library Version: "));
    QCOMPARE(lines.value(5), sep);
    QCOMPARE(lines.value(6), QStringLiteral("Operating System: Debian GNU/Linux 12 (bookworm)"));
    QVERIFY(lines.value(7).startsWith(QStringLiteral("Kernel: Linux ")));
    QVERIFY(lines.value(8).startsWith(QStringLiteral("Processor: ")));
    QVERIFY(lines.value(8).endsWith(QStringLiteral(" logical processor(s)")));
    QVERIFY(lines.contains(QStringLiteral("Temporary Directory: ") + GetTempDirectory()));
    qsizetype mem = lines.indexOf(QStringLiteral("Memory Status:"));
    QVERIFY(mem > 0);
    QCOMPARE(lines.mid(mem + 1, 7), QStringList({QStringLiteral("Memory in use: 75%"),
                                                 QStringLiteral("Total physical memory: 2,048,000,000 bytes"),
                                                 QStringLiteral("Free physical memory: 512,000,000 bytes"),
                                                 QStringLiteral("Total page file memory: 1,024,000,000 bytes"),
                                                 QStringLiteral("Free page file memory: 256,000,000 bytes"),
                                                 QStringLiteral("Total virtual memory: 2,048,000,000 bytes"),
                                                 QStringLiteral("Free virtual memory: 512,000,000 bytes")}));
    qsizetype env = lines.indexOf(QStringLiteral("Environment Information:"));
    QVERIFY(env > mem);
    QVERIFY(lines.contains(QStringLiteral("XDG_CONFIG_HOME=") + qEnvironmentVariable("XDG_CONFIG_HOME")) ||
            !qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
    QVERIFY(lines.contains(QStringLiteral("QT_QPA_PLATFORM=") + qEnvironmentVariable("QT_QPA_PLATFORM")));
    qsizetype drives = lines.indexOf(QStringLiteral("Drive Information:"));
    QVERIFY(drives > env);
    QVERIFY2(lines.value(drives + 1).startsWith(QStringLiteral("/, Fixed Drive (ext4), Total Disk Spaces: ")),
             qPrintable(lines.value(drives + 1)));
    QCOMPARE(
        lines.value(drives + 2),
        QStringLiteral(
            "/does/not exist, Remote Network Drive (nfs4), Total Disk Spaces: -1 bytes, Free Disk Spaces: -1 bytes."));
    QCOMPARE(lines.mid(lines.size() - 3), QStringList({sep, QStringLiteral("End of System Information"), sep}));

    // Unreadable sources give the failure text, never a gap in the report.
    sources.memInfoPath = dir.filePath(QStringLiteral("missing"));
    sources.osReleasePath = dir.filePath(QStringLiteral("missing"));
    QStringList poor;
    AddMemoryInfo(sources, poor);
    AddOsInfo(sources, poor);
    QCOMPARE(poor.value(1), QStringLiteral("Cannot get the required infomation. Error Code: 2."));
    QCOMPARE(poor.value(2), QStringLiteral("Operating System: Cannot get the required infomation. Error Code: 2."));
}

void FrameworkTest::logFileIsCrLfInCodePage()
{
    qunsetenv("KRV_CODEPAGE");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.log"));
    QVERIFY(WriteLogFile(path, {QStringLiteral("Recover message 'Grüße €' ..."), QString(), QStringLiteral("日本")}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Recover message 'Gr\xfc\xdf"
                                        "e \x80' ...\r\n\r\n??\r\n"));
    QVERIFY(WriteLogFile(path, {}));
    QCOMPARE(QFileInfo(path).size(), 0);
    QVERIFY(!WriteLogFile(dir.filePath(QStringLiteral("no/such/folder/x.log")), {QStringLiteral("a")}));
}

QTEST_GUILESS_MAIN(FrameworkTest)
#include "FrameworkTest.moc"
