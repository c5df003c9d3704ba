// MessageBoxes.cpp: the boxes, built on QMessageBox so that they look native.
#include "frontend/framework/MessageBoxes.h"

#include "frontend/framework/TrelvText.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, TrelvText title, const QString& text,
                                 QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, LoadText(title), text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

void ShowInformation(QWidget* parent, const QString& text)
{
    Show(parent, QMessageBox::Information, TrelvText::TextInformation, text, QMessageBox::Ok);
}

void ShowWarning(QWidget* parent, const QString& text)
{
    Show(parent, QMessageBox::Warning, TrelvText::TextWarning, text, QMessageBox::Ok);
}

void ShowError(QWidget* parent, const QString& text)
{
    Show(parent, QMessageBox::Critical, TrelvText::TextError, text, QMessageBox::Ok);
}

bool AskYesNo(QWidget* parent, const QString& text)
{
    return Show(parent, QMessageBox::Question, TrelvText::TextConfirm, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

OverwriteAnswer AskOverwrite(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, LoadText(TrelvText::TextConfirm), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::NoToAll |
                        QMessageBox::YesToAll,
                    parent);
    box.button(QMessageBox::NoToAll)->setText(LoadText(TrelvText::TextNoToAll));
    box.button(QMessageBox::YesToAll)->setText(LoadText(TrelvText::TextYesToAll));
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return OverwriteAnswer::Yes;
    case QMessageBox::No:
        return OverwriteAnswer::No;
    case QMessageBox::Cancel:
        return OverwriteAnswer::Cancel;
    case QMessageBox::NoToAll:
        return OverwriteAnswer::NoToAll;
    case QMessageBox::YesToAll:
        return OverwriteAnswer::YesToAll;
    default:
        return OverwriteAnswer::Closed;
    }
}
