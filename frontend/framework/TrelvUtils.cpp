// TrelvUtils.cpp: name rules, filters, sizes and texts.
#include "frontend/framework/TrelvUtils.h"

#include "platform/os/CodePage.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include "frontend/framework/TrelvText.h"

namespace {

// Both the Windows separators (kept so that names typed the Windows way behave alike) and
// '/'; without '/' a dot in a folder name would be taken for the extension.
bool IsSeparatorOrDot(QChar c) { return c == u'.' || c == u'\\' || c == u':' || c == u'/'; }

// Index of the dot that starts the extension, or -1.
qsizetype ExtensionDot(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (IsSeparatorOrDot(path[i])) return path[i] == u'.' ? i : -1;
    }
    return -1;
}

} // namespace

QString StripExtension(const QString& path)
{
    qsizetype dot = ExtensionDot(path);
    return dot < 0 ? path : path.left(dot);
}

QString DefaultOutputName(const QString& path)
{
    qsizetype dot = ExtensionDot(path);
    QString extension = dot < 0 ? QString() : path.mid(dot);
    // What a repair writes is a personal-folders file: an offline folder file's ".ost"
    // becomes ".pst", so the output is not taken for an offline store.
    if (extension.compare(QStringLiteral(".ost"), Qt::CaseInsensitive) == 0) extension = QStringLiteral(".pst");
    return StripExtension(path) + QStringLiteral("_fixed") + extension;
}

QString FilterExtension(const QString& filter, int n)
{
    const QStringList parts = filter.split(u'|');
    qsizetype index = 2 * qsizetype(n) - 1;
    if (n < 1 || index >= parts.size()) return QString();
    QString pattern = parts[index].section(u';', 0, 0).trimmed();
    qsizetype dot = pattern.lastIndexOf(u'.');
    return dot < 0 ? QString() : pattern.mid(dot + 1);
}

QStringList DialogNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        // Qt takes the patterns from the parentheses; add them where the description has none.
        filters << (description.endsWith(u')') ? description : description + QStringLiteral(" (") + patterns + u')');
    }
    return filters;
}

quint64 GetFileSize64(const QString& path)
{
    if (path.isEmpty()) return 0;
    QFileInfo info(path);
    return info.isFile() ? quint64(info.size()) : 0;
}

QString SeparatorLine() { return QString(56, u'-'); }

QString GetTempDirectory() { return WithTrailingSeparator(QDir::tempPath()); }

QString WithTrailingSeparator(const QString& folder)
{
    QString result = folder;
    while (result.size() > 1 && result.endsWith(u'/')) result.chop(1);
    if (!result.endsWith(u'/')) result += u'/';
    return result;
}

QString CheckBoxLine(const QAbstractButton* box)
{
    return box->text() + QStringLiteral(": ") + LoadText(box->isChecked() ? TrelvText::TextYes : TrelvText::TextNo);
}

QString ThousandsText(qint64 value)
{
    QString digits = QString::number(value < 0 ? -(value + 1) + quint64(1) : quint64(value));
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, u',');
    return value < 0 ? u'-' + digits : digits;
}

QString FromAnsi(const char* text)
{
    if (!text) return QString();
    return QString::fromStdU16String(krv::AnsiToUtf16(text));
}

std::string ToAnsi(const QString& text) { return krv::Utf16ToAnsi(text.toStdU16String()); }

bool SameFile(const QString& a, const QString& b)
{
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath()))
        return true;
    struct stat sa {
    }, sb{};
    if (stat(QFile::encodeName(a).constData(), &sa) != 0 || stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
