// DragEdit.cpp: file drops onto the edit box.
#include "frontend/app/DragEdit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

QString FirstLocalFile(const QMimeData* data)
{
    if (!data || !data->hasUrls()) return QString();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return QString();
}

} // namespace

TDragEdit::TDragEdit(QWidget* parent) : QLineEdit(parent) {}

void TDragEdit::SetAcceptFiles(bool accept)
{
    acceptFiles_ = accept;
    setAcceptDrops(true); // plain text may still be dropped when files are not taken
}

void TDragEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptFiles_ && !FirstLocalFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void TDragEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptFiles_ && !FirstLocalFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void TDragEdit::dropEvent(QDropEvent* event)
{
    QString path = acceptFiles_ ? FirstLocalFile(event->mimeData()) : QString();
    if (path.isEmpty()) {
        QLineEdit::dropEvent(event);
        return;
    }
    // The drop always ends here, whatever the window does with the file.
    event->acceptProposedAction();
    emit OnDropFile(path);
}
