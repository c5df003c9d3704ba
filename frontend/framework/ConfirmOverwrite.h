// ConfirmOverwrite.h: whether a batch may write an output file that exists already, with
// the answers that last for the rest of the run.
#ifndef KRV_FRONTEND_FRAMEWORK_CONFIRMOVERWRITE_H
#define KRV_FRONTEND_FRAMEWORK_CONFIRMOVERWRITE_H

#include <QString>

#include <functional>

// The answers of the overwrite question.
enum class OverwriteAnswer { Yes, No, Cancel, NoToAll, YesToAll, Closed };

// Asks the question (its text given) and returns the answer.
using OverwriteQuestion = std::function<OverwriteAnswer(const QString& text)>;

// The choices of one batch run; all false at its start.
struct OverwriteChoices {
    bool yesToAll = false;
    bool noToAll = false;
    bool cancel = false; // the run ends before this file
};

// True when the file at path may be written: it does not exist, Yes to All was answered
// before, there is no one to ask (an empty question), or the user answers Yes, Yes to All,
// Cancel (cancel is set, and the caller tests it first) or closes the box. The question
// names the file only, not its folder.
bool ConfirmOverwrite(const QString& path, const OverwriteQuestion& ask, OverwriteChoices& choices);

#endif
