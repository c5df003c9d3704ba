// MountTable.h: the file systems mounted on this computer, as the kernel lists them in
// /proc/self/mountinfo, and which of them are local disks: the Linux counterpart of the
// fixed drives that the search window looks in by default.
#ifndef KRV_FRONTEND_FRAMEWORK_MOUNTTABLE_H
#define KRV_FRONTEND_FRAMEWORK_MOUNTTABLE_H

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

struct MountEntry {
    dev_t device = 0; // the st_dev of every file on it
    QString root;     // the folder of the file system that is mounted ("/" for all of it)
    QString mountPoint;
    QString type;   // "ext4", "proc", "nfs4" ...
    QString source; // "/dev/sda1", "server:/export", "overlay" ...
};

// Mount fields escape blanks, tabs, newlines and backslashes as '\' and three octal digits.
QString UnescapedMountField(const QString& field);

// The entries of a mountinfo file; lines that are not of its form are left out. Empty
// when the file cannot be read.
QList<MountEntry> ReadMountTable(const QString& path = QStringLiteral("/proc/self/mountinfo"));

// A file system on a local block device: its source is a device node (/dev/...) or it is a
// pool of disks (zfs, btrfs); kernel interfaces (proc, sysfs, cgroup, tmpfs ...), network
// shares, container overlays and read-only images (squashfs, CD and DVD file systems) are
// not.
bool IsLocalDisk(const MountEntry& entry);

// The mount points of the local disks, each file system once (at its first and whole
// mount), in the table's order. When there is none (a container whose root is an
// overlay), the root folder "/" alone, so that a search still has somewhere to look.
QStringList LocalDiskMountPoints(const QList<MountEntry>& table);

#endif
