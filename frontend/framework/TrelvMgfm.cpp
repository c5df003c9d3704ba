// TrelvMgfm.cpp: the completion window.
#include "frontend/framework/TrelvMgfm.h"

#include "ui_TrelvMgfm.h"

#include <QStyle>

TTrelvMsgForm::TTrelvMsgForm(QWidget* owner, const QString& text)
    : QDialog(owner), ui_(std::make_unique<Ui::TrelvMsgForm>())
{
    ui_->setupUi(this);
    int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    ui_->imgIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
    ui_->labMsg->setText(text);
    connect(ui_->btnClose, &QPushButton::clicked, this, &QDialog::accept);
    adjustSize();
}

TTrelvMsgForm::~TTrelvMsgForm() = default;

QString TTrelvMsgForm::Text() const { return ui_->labMsg->text(); }
