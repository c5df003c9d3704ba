// GuiTestSupport.cpp: the shared helpers of the widget tests.
#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
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
        if (s.wasSet) qputenv(s.name, s.value);
        else qunsetenv(s.name);
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
        if (box && box->button(QMessageBox::StandardButton(standardButton))) box->button(QMessageBox::StandardButton(standardButton))->click();
        else if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
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
    // One answer per window; a window that is still closing is not answered twice.
    if (!modal || modal == handling_ || !modal->isVisible()) return;
    handling_ = modal;

    SeenModal seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), QString()};
    if (auto* box = qobject_cast<QMessageBox*>(modal)) seen.text = box->text();
    else if (auto* label = modal->findChild<QLabel*>(QStringLiteral("labMsg"))) seen.text = label->text();
    seen_.append(seen);

    if (!answers_.empty()) {
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        answer(modal);
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* button = box->escapeButton();
        if (!button) button = box->defaultButton();
        if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
        if (button) button->click();
    } else if (auto* close = modal->findChild<QAbstractButton*>(QStringLiteral("btnClose"))) {
        close->click();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    }
    // Let the same window be answered again only after it went away.
    QTimer::singleShot(0, this, [this, modal] {
        if (handling_ == modal) handling_ = nullptr;
    });
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
