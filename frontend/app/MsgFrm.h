// MsgFrm.h: KRVRepair's completion window: the framework's, with a hint on how to look at
// the recovered items.
#ifndef KRV_FRONTEND_APP_MSGFRM_H
#define KRV_FRONTEND_APP_MSGFRM_H

#include "frontend/framework/TrelvMgfm.h"

class TMsgForm : public TTrelvMsgForm {
    Q_OBJECT

public:
    TMsgForm(QWidget* owner, const QString& text);
};

#endif
