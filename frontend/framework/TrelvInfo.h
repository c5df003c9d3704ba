// TrelvInfo.h: the report on the computer that a saved repair log may start with, so
// that one file describes a run and its circumstances: versions, operating system and
// processor, folders, memory, environment and mounted file systems.
//
// Each part reads what Linux offers in its place of the Windows queries (/etc/os-release
// and uname for the system, /proc/cpuinfo, /proc/meminfo, /proc/self/mounts with statvfs);
// the file to read is a parameter so that a test can hand in its own.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVINFO_H
#define KRV_FRONTEND_FRAMEWORK_TRELVINFO_H

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// A version of four 16-bit numbers per part, held as two 32-bit words each (most
// significant word first), as a version resource holds it.
struct FileVersion {
    bool present = false;
    uint32_t fileMS = 0, fileLS = 0;
    uint32_t productMS = 0, productLS = 0;
};

// "0.1.0" or "2.0.0.0" as file and product version (missing numbers are 0); a text that
// is no such version gives an absent version.
FileVersion ParseFileVersion(const QString& text);

// Selector 0 and 1: the file version's most and least significant word ("%d.%d" of its
// halves), 2: both ("2.0.0.0"); 3, 4, 5: the same for the product version. Empty when the
// version is absent or the selector unknown.
QString GetFileVersionText(const FileVersion& version, int selector);

// A further module named in the version part (the engine library): its path and version.
struct ModuleInfo {
    QString name;
    QString path;
    QString version;
};

struct SystemInfoSources {
    FileVersion programVersion;
    QList<ModuleInfo> modules;
    QString osReleasePath = QStringLiteral("/etc/os-release");
    QString cpuInfoPath = QStringLiteral("/proc/cpuinfo");
    QString memInfoPath = QStringLiteral("/proc/meminfo");
    QString mountsPath = QStringLiteral("/proc/self/mounts");
};

void AddVersionInfo(const SystemInfoSources& sources, QStringList& lines);
void AddOsInfo(const SystemInfoSources& sources, QStringList& lines);
void AddDirectoryInfo(QStringList& lines);
void AddMemoryInfo(const SystemInfoSources& sources, QStringList& lines);
void AddEnvironmentInfo(QStringList& lines);
void AddDriveInfo(const SystemInfoSources& sources, QStringList& lines);

// The whole report: the six parts between separator lines, closed by
// "End of System Information" between separator lines.
void AddSystemInfo(const SystemInfoSources& sources, QStringList& lines);

#endif
