// MountTable.cpp: reading /proc/self/mountinfo.
#include "frontend/framework/MountTable.h"

#include <QFile>

#include <set>

#include <sys/sysmacros.h>

QString UnescapedMountField(const QString& field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'\\' && i + 3 < field.size()) {
            bool ok = false;
            int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

QList<MountEntry> ReadMountTable(const QString& path)
{
    QList<MountEntry> table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return table;
    // Files under /proc report no size; read them as a stream, with a bound.
    const QString text = QString::fromLocal8Bit(file.read(16 * 1024 * 1024));
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        // id parent major:minor root mount-point options [optional fields] - type source options
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        const qsizetype dash = fields.indexOf(QStringLiteral("-"), 6);
        if (fields.size() < 6 || dash < 0 || dash + 2 >= fields.size()) continue;
        const QStringList numbers = fields[2].split(u':');
        bool majorOk = false, minorOk = false;
        const uint major = numbers.value(0).toUInt(&majorOk);
        const uint minor = numbers.value(1).toUInt(&minorOk);
        if (numbers.size() != 2 || !majorOk || !minorOk) continue;
        MountEntry entry;
        entry.device = makedev(major, minor);
        entry.root = UnescapedMountField(fields[3]);
        entry.mountPoint = UnescapedMountField(fields[4]);
        entry.type = fields[dash + 1];
        entry.source = UnescapedMountField(fields[dash + 2]);
        table.append(entry);
    }
    return table;
}

bool IsLocalDisk(const MountEntry& entry)
{
    static const QStringList images = {"squashfs", "iso9660", "udf", "erofs", "cramfs"};
    static const QStringList pools = {"zfs", "btrfs", "bcachefs"};
    if (images.contains(entry.type)) return false;
    if (pools.contains(entry.type)) return true;
    // /dev/loop* are files mounted as disks (images of snaps, ISO files): not drives.
    return entry.source.startsWith(QStringLiteral("/dev/")) && !entry.source.startsWith(QStringLiteral("/dev/loop"));
}

QStringList LocalDiskMountPoints(const QList<MountEntry>& table)
{
    QStringList points;
    std::set<dev_t> seen;
    for (const MountEntry& entry : table) {
        // A bind mount of one folder or file of a disk shows part of a file system that is
        // searched from its own mount point already.
        if (!IsLocalDisk(entry) || entry.root != u"/" || !seen.insert(entry.device).second) continue;
        points << entry.mountPoint;
    }
    if (points.isEmpty()) points << QStringLiteral("/");
    return points;
}
