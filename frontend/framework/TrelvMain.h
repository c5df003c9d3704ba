// TrelvMain.h: the framework's main window: the four pages behind the header buttons,
// the choice of source and output file, the run of a single repair from Start to its
// final message, the batch repair of a list of files, the engine's messages, the repair
// log and its saving, Help and About.
//
// The product's window derives from TTrelvMainForm, builds the whole window from its form
// definition (the framework's controls are found there by object name: txtSrcFile,
// btnRepair, ...), implements the eleven abstract operations, and then calls FormCreate.
//
// Everything runs on the one user-interface thread. A repair blocks in RunRepair until
// the engine returns; the window stays alive because OnMessage processes pending events
// on progress messages, and at most every 50 ms on other messages. Handlers that run
// inside those calls (Stop, the tabs, the options, closing the window) see FRunning.
#ifndef KRV_FRONTEND_FRAMEWORK_TRELVMAIN_H
#define KRV_FRONTEND_FRAMEWORK_TRELVMAIN_H

#include "frontend/framework/TrelvInfo.h"
#include "frontend/framework/TrelvSetting.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class TTrelvLogDialog;
class TTrelvSearchDialog;

class TTrelvMainForm : public QWidget {
    Q_OBJECT

public:
    ~TTrelvMainForm() override;

    // The engine's messages (codes of engine/job/RepairEntry.h). Answers true only to an
    // abort query while no run is active, which tells the engine to stop.
    bool OnMessage(int32_t code, const void* payload);

    // The program's arguments (without the program itself): a source file and the
    // switches O and E, written with '-' or '/' in any case ("-o", "/E"). The window
    // must be shown already.
    void ProcessCommandLine(const QStringList& arguments);

    bool Running() const { return FRunning; }
    // The help page: the program's path with the extension ".html".
    QString HelpFile() const { return FHelpFile; }
    // The lines of the repair log.
    QStringList LogLines() const;

    // Appends a row for a source file to the batch list, unless a row has that name; names
    // are compared exactly, since on Linux names that differ in case are different files.
    void AddFileToList(const QString& path);

public slots:
    void MainTabChange(int tag);
    void SubTabChange(int tag);
    void btnRepairClick();
    void btnRepairFilesClick();

protected:
    explicit TTrelvMainForm(QWidget* parent = nullptr);

    // Binds the framework's controls, sets the window up and loads the options. Called by
    // the product's constructor once its form is built.
    void FormCreate();
    // Saves the options. Called by the product's destructor, while it still exists.
    void FormDestroy();

    // The eleven operations the product supplies.
    virtual void HandleEngineMessage(int32_t code, const void* payload) = 0;
    virtual bool NeedsOverwriteCheck() = 0;
    virtual int32_t RunRepair(const QString& source, const QString& output) = 0;
    virtual void BeforeRepair() = 0;
    virtual void AfterRepair() = 0;
    virtual QString GetCompletionText() = 0;
    virtual QDialog* CreateCompletionForm(const QString& text) = 0;
    virtual void InitOptions() = 0;
    virtual void DoneOptions() = 0;
    virtual void AddSettingInfo(QStringList& lines) = 0;
    virtual uint32_t GetRepairFlags() = 0;

    // Adds one line to the repair log.
    void AddLog(const QString& line);
    // Processes pending window events now.
    void ProcessPendingEvents();

    void txtSrcFileDropFile(const QString& path);
    // Opens the help page with the desktop's browser.
    void FormHelp();

    // What the product tells the framework before FormCreate.
    QString FTitle;                              // the application title
    SystemInfoSources FSystemInfo;               // the program's version and its modules
    QString FSourceAddress;                      // where the program's source lives
    TTrelvLogDialog* FSaveLogDialog = nullptr;   // owned by the product's window
    TTrelvSearchDialog* FSearchDialog = nullptr; // owned by the product's window

    bool FRunning = false;
    QElapsedTimer FStartTime;
    std::unique_ptr<TTrelvSetting> FSetting;

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename T>
    T* Bind(const char* name);
    void BindControls();
    void ConnectHandlers();
    void MoveInto(const char* slotName, QWidget* widget);
    void SetRunButton(bool running);
    void SetProgress(int percent);
    void ShowFinalText(int32_t result, const QString& source);
    bool CheckBeforeEngine(const QString& source, const QString& output);

    void FormShow();
    void txtSrcFileChange();
    void txtDstFileChange();
    void UpdateRepairEnabled();
    void btnSrcMoreClick();
    void btnDstMoreClick();
    void btnSaveLogClick();
    void btnMoreDirClick();
    void labHomepageClick();
    void labSupportCenterClick();
    void imgLogoClick();
    void OpenAddress(const QString& address);
    void btnSrcSearchClick();

    // Batch repair (TrelvBatch.cpp).
    void btnAddFilesClick();
    void btnSearchFilesClick();
    void btnRemoveFilesClick();
    void btnRemoveAllClick();
    bool FileListKeyDown(QKeyEvent* event);
    void SetBatchRunning(bool running);
    int32_t RepairBatchFile(const QString& source, const QString& output);

protected:
    // The framework's controls, found in the product's form.
    QButtonGroup* FMainTabs = nullptr;
    QButtonGroup* FSubTabs = nullptr;
    QAbstractButton* btnRepairTab = nullptr;
    QAbstractButton* btnBatchRepairTab = nullptr;
    QAbstractButton* btnOptionsTab = nullptr;
    QAbstractButton* btnAboutTab = nullptr;
    QAbstractButton* btnSubOptions = nullptr;
    QAbstractButton* btnSubAdvOptions = nullptr;
    QStackedWidget* MainPages = nullptr;
    QStackedWidget* OptionPages = nullptr;
    QPushButton* btnHelp = nullptr;
    QLineEdit* txtSrcFile = nullptr;
    QLineEdit* txtDstFile = nullptr;
    QAbstractButton* btnSrcMore = nullptr;
    QAbstractButton* btnSrcSearch = nullptr;
    QAbstractButton* btnDstMore = nullptr;
    QComboBox* cmbSrcFormat = nullptr;
    QComboBox* cmbDstFormat = nullptr;
    QLabel* labSrcFormat = nullptr;
    QLabel* labDstFormat = nullptr;
    QLabel* labBatchSrcFormat = nullptr;
    QLabel* labBatchDstFormat = nullptr;
    QPushButton* btnRepair = nullptr;
    QPushButton* btnSaveLog = nullptr;
    QPlainTextEdit* txtRepairLog = nullptr;
    QWidget* palProgress = nullptr;
    QProgressBar* Gauge = nullptr;
    QLabel* labProgress = nullptr;
    QLabel* labConsumedTime = nullptr;
    QLineEdit* txtTempDir = nullptr;
    QAbstractButton* btnMoreDir = nullptr;
    QAbstractButton* chkOpenFixed = nullptr;
    QLabel* labTitle = nullptr;
    QLabel* labVersion = nullptr;
    QLabel* labHomepage = nullptr;
    QLabel* labSupportCenter = nullptr;
    QLabel* imgLogo = nullptr;
    QTreeWidget* FileList = nullptr;
    QPushButton* btnAddFiles = nullptr;
    QPushButton* btnSearchFiles = nullptr;
    QPushButton* btnRemoveFiles = nullptr;
    QPushButton* btnRemoveAll = nullptr;
    QPushButton* btnRepairFiles = nullptr;

private:
    QString FHelpFile;
    QString FFilter;
    QStringList FLog;
    QString FSuggestedOutput; // the output name txtSrcFileChange filled in last
    bool FCloseRequested = false;
    bool FBatchRunning = false; // rows must not go away while the batch works on them
    QElapsedTimer FLastEventPump;
};

#endif
