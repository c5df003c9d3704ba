// GuiTestSupport.h: what the widget tests share: a private settings folder, a helper that
// answers modal boxes and dialogs as a user would, screenshots on request, and the
// developer tools that make stores.
#ifndef KRV_TESTS_GUI_GUITESTSUPPORT_H
#define KRV_TESTS_GUI_GUITESTSUPPORT_H

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;
class QMessageBox;

// Points XDG_CONFIG_HOME (settings) and XDG_STATE_HOME (the engine's temporary messaging
// profiles) at fresh folders for as long as it lives, so that no test ever reads or writes
// the files of the person running it.
class PrivateUserFolders {
public:
    PrivateUserFolders();
    ~PrivateUserFolders();
    QString Path() const { return config_.path(); }
    QString SettingsFile(const QString& programName) const;

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QTemporaryDir config_;
    QTemporaryDir state_;
    QList<Saved> saved_;
};

// A modal box or dialog that came up, as the user saw it.
struct SeenModal {
    QString className; // "QMessageBox", "TMsgForm", "TSaveLogDialog", ...
    QString title;
    QString text; // the message, or the completion window's label
};

// Watches for modal windows while it lives and answers each one: with the next queued
// answer when there is one, else with the default (a message box's Escape or default
// button, the completion window's Close, Cancel for everything else).
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalAnswerer(QObject* parent = nullptr);

    void Queue(Answer answer) { answers_.push_back(std::move(answer)); }
    // A message box answered with the button of that role (QMessageBox::Yes, ::No ...).
    void QueueButton(int standardButton);

    const QList<SeenModal>& Seen() const { return seen_; }
    QStringList SeenTexts() const;
    void Clear() { seen_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Poll();

    QTimer timer_;
    std::deque<Answer> answers_;
    QList<SeenModal> seen_;
    QSet<QWidget*> answered_; // answered and still shown
    QSet<QObject*> watched_;
};

// Saves a PNG of the widget as <KRV_SCREENSHOT_DIR>/<name>.png when that variable is set.
void SaveScreenshot(QWidget* widget, const QString& name);

// Runs a developer tool from the build's bin folder; true when it exits with 0.
bool RunTool(const QString& tool, const QStringList& arguments, QString* output = nullptr);
// Runs any program (found on PATH); true when it exits with 0.
bool RunProgram(const QString& program, const QStringList& arguments, QString* output = nullptr);

// Writes a file of the given size whose bytes are all zero.
bool WriteZeroFile(const QString& path, qint64 size);

#endif
