// MsgFrm.cpp: the completion window's text.
#include "frontend/app/MsgFrm.h"

#include "frontend/app/RepairText.h"

TMsgForm::TMsgForm(QWidget* owner, const QString& text)
    : TTrelvMsgForm(owner, text + LoadText(RepairText::TextCompletionSuffix))
{}
