// TrelvPanel.cpp: the caption of the panel.
#include "frontend/framework/TrelvPanel.h"

#include <QPainter>

TTrelvPanel::TTrelvPanel(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
    SetTransparent(true);
}

void TTrelvPanel::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TTrelvPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter painter(this);
    painter.drawText(contentsRect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, caption_);
}
