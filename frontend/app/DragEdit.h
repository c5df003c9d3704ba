// DragEdit.h: an edit box that takes files dropped from the desktop's file manager.
#ifndef KRV_FRONTEND_APP_DRAGEDIT_H
#define KRV_FRONTEND_APP_DRAGEDIT_H

#include <QLineEdit>
#include <QString>

class TDragEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TDragEdit(QWidget* parent = nullptr);

    // Off at first; while on, a drop of local files raises OnDropFile with the first one
    // (the others are ignored) instead of inserting text.
    void SetAcceptFiles(bool accept);
    bool AcceptFiles() const { return acceptFiles_; }

signals:
    void OnDropFile(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptFiles_ = false;
};

#endif
