// TrelvUtils.h: the framework's small helpers: the name rules for source and output
// files, dialog filters, file sizes, number texts and the 8-bit texts of the engine.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVUTILS_H
#define KRV_FRONTEND_FRAMEWORK_TRELVUTILS_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <string>

class QAbstractButton;

// The path without its extension. The extension starts at the last '.' that no separator
// ('/', '\' or ':') follows: "/a.b/file" stays whole, "/mail/box.pst" gives "/mail/box".
QString StripExtension(const QString& path);

// StripExtension(path) + "_fixed" + the path's extension with its dot:
// "/mail/box.pst" gives "/mail/box_fixed.pst", "/home/u/mail.d/box" gives
// "/home/u/mail.d/box_fixed".
QString DefaultOutputName(const QString& path);

// The default extension of the n-th (1-based) entry of a filter written as
// "description|patterns|description|patterns...": the entry's first pattern reduced to its
// extension ("*.pst" gives "pst", "*.*" gives "*"); empty when there is no such entry.
QString FilterExtension(const QString& filter, int n);

// The same filter as the name filters of a Qt file dialog, one per entry.
QStringList DialogNameFilters(const QString& filter);

// Whether two paths name the same file: the same absolute path, or the same file reached
// through links.
bool SameFile(const QString& a, const QString& b);

// Size of a regular file; 0 when there is none at the path (a folder counts as none).
quint64 GetFileSize64(const QString& path);

// The folder for temporary files ($TMPDIR or /tmp), with a trailing '/'.
QString GetTempDirectory();

// The line that separates the sections of the repair log: 56 hyphens.
QString SeparatorLine();

// A folder path with exactly one trailing '/'.
QString WithTrailingSeparator(const QString& folder);

// "caption: Yes" or "caption: No"; the caption as stored, '&' markers included.
QString CheckBoxLine(const QAbstractButton* box);

// A number with ',' between groups of three digits and no decimals: 1234567 gives
// "1,234,567", -1 gives "-1".
QString ThousandsText(qint64 value);

// 8-bit text in the configured code page (KRV_CODEPAGE) to and from Qt's text; a null
// pointer gives the empty text.
QString FromAnsi(const char* text);
std::string ToAnsi(const QString& text);

#endif
