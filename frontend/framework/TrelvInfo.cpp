// TrelvInfo.cpp: the parts of the system report.
#include "frontend/framework/TrelvInfo.h"

#include "frontend/framework/MountTable.h"
#include "frontend/framework/TrelvText.h"
#include "frontend/framework/TrelvUtils.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <map>

#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

extern char** environ;

namespace {

QString WordText(uint32_t word) { return QStringLiteral("%1.%2").arg(word >> 16).arg(word & 0xFFFF); }

QString FailedQuery(int error) { return LoadText(TrelvText::InfoQueryFailed).arg(error); }

// The lines of a small system file; empty when it cannot be read.
QStringList ReadLines(const QString& path, int* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = errno;
        return {};
    }
    // Files under /proc report no size; read them as a stream, with a bound.
    QByteArray text = file.read(4 * 1024 * 1024);
    return QString::fromLocal8Bit(text).split(u'\n', Qt::SkipEmptyParts);
}

QString OsReleaseName(const QString& path)
{
    int error = 0;
    std::map<QString, QString> fields;
    for (const QString& line : ReadLines(path, &error)) {
        qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith(u'"') || value.startsWith(u'\'')) && value.endsWith(value[0]))
            value = value.mid(1, value.size() - 2);
        fields[line.left(eq).trimmed()] = value;
    }
    if (!fields["PRETTY_NAME"].isEmpty()) return fields["PRETTY_NAME"];
    QString name = (fields["NAME"] + u' ' + fields["VERSION"]).trimmed();
    return name.isEmpty() ? FailedQuery(error) : name;
}

QString ProcessorName(const QString& path)
{
    int error = 0;
    for (const QString& line : ReadLines(path, &error)) {
        // x86 names it "model name"; other machines use "Processor", "cpu model" or "Hardware".
        static const QRegularExpression key(QStringLiteral("^(model name|cpu model|Processor|Hardware)\\s*:"),
                                            QRegularExpression::CaseInsensitiveOption);
        QRegularExpressionMatch m = key.match(line);
        if (m.hasMatch()) {
            QString value = line.mid(m.capturedEnd()).trimmed();
            if (!value.isEmpty()) return value;
        }
    }
    return FailedQuery(error);
}

TrelvText DriveKind(const QString& device, const QString& type)
{
    static const QStringList remote = {"nfs",  "nfs4",      "cifs", "smb3",       "smbfs", "ncpfs", "afs",
                                       "ceph", "glusterfs", "9p",   "fuse.sshfs", "sshfs", "davfs", "fuse.rclone"};
    static const QStringList local = {"overlay", "btrfs", "zfs", "fuseblk", "xfs", "ext2", "ext3", "ext4"};
    if (remote.contains(type)) return TrelvText::DriveRemote;
    if (type == u"iso9660" || type == u"udf") return TrelvText::DriveCdRom;
    if (type == u"tmpfs" || type == u"ramfs") return TrelvText::DriveRamDisk;
    if (device.startsWith(QStringLiteral("/dev/"))) {
        // /sys/block/<disk>/removable says whether the medium can be taken out.
        QString disk = device.mid(5).section(u'/', -1);
        QFile removable(QStringLiteral("/sys/block/%1/removable").arg(disk));
        if (removable.open(QIODevice::ReadOnly) && removable.readAll().trimmed() == "1")
            return TrelvText::DriveRemovable;
        return TrelvText::DriveFixed;
    }
    return local.contains(type) ? TrelvText::DriveFixed : TrelvText::DriveUnknown;
}

} // namespace

FileVersion ParseFileVersion(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?(?:\\.(\\d+))?$"));
    QRegularExpressionMatch m = form.match(text.trimmed());
    FileVersion v;
    if (!m.hasMatch()) return v;
    uint32_t n[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = true;
        uint value = m.captured(i + 1).isEmpty() ? 0 : m.captured(i + 1).toUInt(&ok);
        if (!ok || value > 0xFFFF) return FileVersion{};
        n[i] = value;
    }
    v.present = true;
    v.fileMS = v.productMS = n[0] << 16 | n[1];
    v.fileLS = v.productLS = n[2] << 16 | n[3];
    return v;
}

QString GetFileVersionText(const FileVersion& version, int selector)
{
    if (!version.present) return QString();
    switch (selector) {
    case 0:
        return WordText(version.fileMS);
    case 1:
        return WordText(version.fileLS);
    case 2:
        return WordText(version.fileMS) + u'.' + WordText(version.fileLS);
    case 3:
        return WordText(version.productMS);
    case 4:
        return WordText(version.productLS);
    case 5:
        return WordText(version.productMS) + u'.' + WordText(version.productLS);
    default:
        return QString();
    }
}

void AddVersionInfo(const SystemInfoSources& sources, QStringList& lines)
{
    lines << LoadText(TrelvText::InfoVersionHeader);
    lines << LoadText(TrelvText::InfoFileVersion).arg(GetFileVersionText(sources.programVersion, 2));
    lines << LoadText(TrelvText::InfoProductVersion).arg(GetFileVersionText(sources.programVersion, 5));
    for (const ModuleInfo& module : sources.modules) {
        lines << LoadText(TrelvText::InfoModule).arg(module.name, module.path);
        lines << LoadText(TrelvText::InfoModuleVersion).arg(module.name, module.version);
    }
}

void AddOsInfo(const SystemInfoSources& sources, QStringList& lines)
{
    lines << LoadText(TrelvText::InfoOperatingSystem).arg(OsReleaseName(sources.osReleasePath));
    struct utsname names {};
    if (uname(&names) == 0) {
        lines << LoadText(TrelvText::InfoKernel)
                     .arg(QString::fromLocal8Bit(names.sysname), QString::fromLocal8Bit(names.release),
                          QString::fromLocal8Bit(names.version), QString::fromLocal8Bit(names.machine));
    } else {
        lines << LoadText(TrelvText::InfoKernel).arg(FailedQuery(errno), QString(), QString(), QString()).trimmed();
    }
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    lines << LoadText(TrelvText::InfoProcessor).arg(ProcessorName(sources.cpuInfoPath), QString::number(processors));
}

void AddDirectoryInfo(QStringList& lines)
{
    QString program = QCoreApplication::applicationDirPath();
    lines << LoadText(TrelvText::InfoProgramDirectory)
                 .arg(program.isEmpty() ? FailedQuery(ENOENT) : WithTrailingSeparator(program));
    QString home = qEnvironmentVariable("HOME");
    lines << LoadText(TrelvText::InfoHomeDirectory)
                 .arg(home.isEmpty() ? FailedQuery(ENOENT) : WithTrailingSeparator(home));
    lines << LoadText(TrelvText::InfoTempDirectory).arg(GetTempDirectory());
}

void AddMemoryInfo(const SystemInfoSources& sources, QStringList& lines)
{
    lines << LoadText(TrelvText::InfoMemoryHeader);
    int error = 0;
    std::map<QString, qint64> kb;
    for (const QString& line : ReadLines(sources.memInfoPath, &error)) {
        static const QRegularExpression form(QStringLiteral("^(\\w+):\\s+(\\d+)"));
        QRegularExpressionMatch m = form.match(line);
        if (m.hasMatch()) kb[m.captured(1)] = m.captured(2).toLongLong();
    }
    if (!kb.count("MemTotal") || kb["MemTotal"] <= 0) {
        lines << FailedQuery(error);
        return;
    }
    auto bytes = [&](const char* key) { return ThousandsText(kb[key] * 1024); };
    qint64 total = kb["MemTotal"];
    qint64 available = kb.count("MemAvailable") ? kb["MemAvailable"] : kb["MemFree"];
    kb["MemAvailable"] = available;
    kb["CommitFree"] = std::max<qint64>(0, kb["CommitLimit"] - kb["Committed_AS"]);
    lines << LoadText(TrelvText::InfoMemoryLoad).arg(std::clamp<qint64>((total - available) * 100 / total, 0, 100));
    lines << LoadText(TrelvText::InfoTotalPhysical).arg(bytes("MemTotal"));
    lines << LoadText(TrelvText::InfoFreePhysical).arg(bytes("MemAvailable"));
    // Swap is the page file; the commit limit bounds what all processes may reserve, as
    // the Windows figures of virtual memory do.
    lines << LoadText(TrelvText::InfoTotalPageFile).arg(bytes("SwapTotal"));
    lines << LoadText(TrelvText::InfoFreePageFile).arg(bytes("SwapFree"));
    lines << LoadText(TrelvText::InfoTotalVirtual).arg(bytes("CommitLimit"));
    lines << LoadText(TrelvText::InfoFreeVirtual).arg(bytes("CommitFree"));
}

void AddEnvironmentInfo(QStringList& lines)
{
    lines << LoadText(TrelvText::InfoEnvironmentHeader);
    for (char** entry = environ; entry && *entry; ++entry) lines << QString::fromLocal8Bit(*entry);
}

void AddDriveInfo(const SystemInfoSources& sources, QStringList& lines)
{
    lines << LoadText(TrelvText::InfoDriveHeader);
    int error = 0;
    for (const QString& line : ReadLines(sources.mountsPath, &error)) {
        QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 3) continue;
        QString device = UnescapedMountField(fields[0]);
        QString mountPoint = UnescapedMountField(fields[1]);
        QString type = fields[2];
        struct statvfs fs {};
        bool known = statvfs(QFile::encodeName(mountPoint).constData(), &fs) == 0;
        // Kernel interfaces (proc, sysfs, cgroup ...) hold no blocks; they are no drives.
        if (known && fs.f_blocks == 0) continue;
        QString kind = LoadText(DriveKind(device, type)) + QStringLiteral(" (") + type + u')';
        qint64 total = known ? qint64(fs.f_blocks) * qint64(fs.f_frsize) : -1;
        qint64 free = known ? qint64(fs.f_bavail) * qint64(fs.f_frsize) : -1;
        lines << LoadText(TrelvText::InfoFixedDrive).arg(mountPoint, kind, ThousandsText(total), ThousandsText(free));
    }
}

void AddSystemInfo(const SystemInfoSources& sources, QStringList& lines)
{
    const QString sep = SeparatorLine();
    AddVersionInfo(sources, lines);
    lines << sep;
    AddOsInfo(sources, lines);
    lines << sep;
    AddDirectoryInfo(lines);
    lines << sep;
    AddMemoryInfo(sources, lines);
    lines << sep;
    AddEnvironmentInfo(lines);
    lines << sep;
    AddDriveInfo(sources, lines);
    lines << sep << LoadText(TrelvText::InfoEndOfSystem) << sep;
}
