// IniFile.h: the per-user settings file, a plain INI file of groups and "key=value" lines.
//
// The file is read leniently: whatever cannot be understood (lines without '=', text of
// another encoding, binary junk, an unreadable or oversize file) is skipped, so a damaged
// file yields the values it still holds and the callers' defaults for the rest. Values
// keep '\' as "\\" and line breaks as "\n" and "\r" so that any path fits on one line.
// Keys are matched without regard to case, as registry value names are.
#ifndef KRV_FRONTEND_FRAMEWORK_INIFILE_H
#define KRV_FRONTEND_FRAMEWORK_INIFILE_H

#include <QList>
#include <QString>

#include <optional>

class IniFile {
public:
    // Larger files are not settings files of ours and are read as empty.
    static constexpr qint64 kMaximumSize = 1024 * 1024;

    static IniFile Load(const QString& path);
    static IniFile Parse(const QByteArray& text);

    std::optional<QString> Value(const QString& group, const QString& key) const;
    void SetValue(const QString& group, const QString& key, const QString& value);

    // Replaces the file as a whole (written beside it, then renamed), creating its folder.
    // False when the folder or the file cannot be created or written.
    bool Save(const QString& path) const;

    QByteArray Text() const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Group {
        QString name;
        QList<Entry> entries;
    };

    Group* FindGroup(const QString& name);
    const Group* FindGroup(const QString& name) const;

    QList<Group> groups_;
};

#endif
