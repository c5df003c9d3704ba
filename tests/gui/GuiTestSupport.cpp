// GuiTestSupport.cpp: the shared helpers of the widget tests.
#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QWidget>

PrivateUserFolders::PrivateUserFolders()
{
    for (auto [name, dir] : {std::pair{"XDG_CONFIG_HOME", &config_}, std::pair{"XDG_STATE_HOME", &state_}}) {
        saved_.append(Saved{name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, QFile::encodeName(dir->path()));
    }
}

PrivateUserFolders::~PrivateUserFolders()
{
    for (const Saved& s : saved_) {
        if (s.wasSet)
            qputenv(s.name, s.value);
        else
            qunsetenv(s.name);
    }
}

QString PrivateUserFolders::SettingsFile(const QString& programName) const
{
    return config_.path() + u'/' + programName + QStringLiteral(".conf");
}

ModalAnswerer::ModalAnswerer(QObject* parent) : QObject(parent)
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    timer_.start(10);
}

void ModalAnswerer::QueueButton(int standardButton)
{
    Queue([standardButton](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->button(QMessageBox::StandardButton(standardButton)))
            box->button(QMessageBox::StandardButton(standardButton))->click();
        else if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
}

QStringList ModalAnswerer::SeenTexts() const
{
    QStringList texts;
    for (const SeenModal& m : seen_) texts << m.text;
    return texts;
}

void ModalAnswerer::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    // One answer per showing of a window: it is answered again only once it was hidden
    // (the search window is one window, shown again and again).
    if (!modal || !modal->isVisible() || answered_.contains(modal)) return;
    answered_.insert(modal);
    if (!watched_.contains(modal)) {
        watched_.insert(modal);
        modal->installEventFilter(this);
        connect(modal, &QObject::destroyed, this, [this, modal] {
            answered_.remove(modal);
            watched_.remove(modal);
        });
    }

    SeenModal seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), QString()};
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        seen.text = box->text();
    else if (auto* label = modal->findChild<QLabel*>(QStringLiteral("labMsg")))
        seen.text = label->text();
    seen_.append(seen);

    Answer answer;
    if (!answers_.empty()) {
        answer = std::move(answers_.front());
        answers_.pop_front();
    } else {
        answer = [](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                QAbstractButton* button = box->escapeButton();
                if (!button) button = box->defaultButton();
                if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
                if (button) button->click();
            } else if (auto* close = w->findChild<QAbstractButton*>(QStringLiteral("btnClose"))) {
                close->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
                dialog->reject();
            }
        };
    }
    // The answer runs from an event of its own, so that this poll keeps running while an
    // answer waits in a window's loop, and answers the boxes that window brings up.
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [target, answer = std::move(answer)] {
        if (target) answer(target);
    });
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide) answered_.remove(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

void SaveScreenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("KRV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}

bool RunTool(const QString& tool, const QStringList& arguments, QString* output)
{
    return RunProgram(QStringLiteral(KRV_BIN_DIR) + u'/' + tool, arguments, output);
}

bool RunProgram(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(300000)) return false;
    if (output) *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool WriteZeroFile(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size);
}
