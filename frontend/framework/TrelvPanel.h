// TrelvPanel.h: the panel that holds the framework's pages and the progress display.
// It draws no chrome of its own (the desktop's style draws the controls on it); an
// optional caption is drawn vertically centred at its left edge. In Transparent mode, the
// default, it fills no background and its parent shows through.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVPANEL_H
#define KRV_FRONTEND_FRAMEWORK_TRELVPANEL_H

#include <QFrame>
#include <QString>

class TTrelvPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool transparent READ Transparent WRITE SetTransparent)

public:
    explicit TTrelvPanel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool transparent) { setAutoFillBackground(!transparent); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

#endif
