// IniFile.cpp: lenient reading and atomic writing of the settings file.
#include "frontend/framework/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString Escaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString Unescaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            QChar next = value[i + 1];
            if (next == u'\\' || next == u'n' || next == u'r') {
                out += next == u'\\' ? u'\\' : next == u'n' ? u'\n' : u'\r';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

IniFile IniFile::Load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return IniFile();
    QByteArray text = file.read(kMaximumSize + 1);
    if (text.size() > kMaximumSize) return IniFile();
    return Parse(text);
}

IniFile IniFile::Parse(const QByteArray& text)
{
    IniFile ini;
    Group* current = nullptr;
    for (const QByteArray& raw : text.split('\n')) {
        QString line = QString::fromUtf8(raw);
        if (line.endsWith(u'\r')) line.chop(1);
        QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#')) continue;
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            QString name = trimmed.mid(1, trimmed.size() - 2).trimmed();
            current = ini.FindGroup(name);
            if (!current) {
                ini.groups_.append(Group{name, {}});
                current = &ini.groups_.last();
            }
            continue;
        }
        qsizetype eq = line.indexOf(u'=');
        if (!current || eq <= 0) continue;
        QString key = line.left(eq).trimmed();
        if (key.isEmpty()) continue;
        ini.SetValue(current->name, key, Unescaped(line.mid(eq + 1)));
        current = ini.FindGroup(current->name); // SetValue may have moved the list
    }
    return ini;
}

std::optional<QString> IniFile::Value(const QString& group, const QString& key) const
{
    const Group* g = FindGroup(group);
    if (!g) return std::nullopt;
    for (const Entry& e : g->entries)
        if (e.key.compare(key, Qt::CaseInsensitive) == 0) return e.value;
    return std::nullopt;
}

void IniFile::SetValue(const QString& group, const QString& key, const QString& value)
{
    Group* g = FindGroup(group);
    if (!g) {
        groups_.append(Group{group, {}});
        g = &groups_.last();
    }
    for (Entry& e : g->entries) {
        if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
            e.value = value;
            return;
        }
    }
    g->entries.append(Entry{key, value});
}

QByteArray IniFile::Text() const
{
    QString out;
    for (const Group& g : groups_) {
        if (!out.isEmpty()) out += u'\n';
        out += u'[' + g.name + QStringLiteral("]\n");
        for (const Entry& e : g.entries) out += e.key + u'=' + Escaped(e.value) + u'\n';
    }
    return out.toUtf8();
}

bool IniFile::Save(const QString& path) const
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray text = Text();
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

IniFile::Group* IniFile::FindGroup(const QString& name)
{
    for (Group& g : groups_)
        if (g.name.compare(name, Qt::CaseInsensitive) == 0) return &g;
    return nullptr;
}

const IniFile::Group* IniFile::FindGroup(const QString& name) const
{
    for (const Group& g : groups_)
        if (g.name.compare(name, Qt::CaseInsensitive) == 0) return &g;
    return nullptr;
}
