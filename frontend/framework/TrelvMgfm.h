// TrelvMgfm.h: the completion window that ends a successful repair: the desktop's
// information icon, the message and a Close button, modal and centred on its owner.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVMGFM_H
#define KRV_FRONTEND_FRAMEWORK_TRELVMGFM_H

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class TrelvMsgForm;
}

class TTrelvMsgForm : public QDialog {
    Q_OBJECT

public:
    TTrelvMsgForm(QWidget* owner, const QString& text);
    ~TTrelvMsgForm() override;

    QString Text() const;

private:
    std::unique_ptr<Ui::TrelvMsgForm> ui_;
};

#endif
