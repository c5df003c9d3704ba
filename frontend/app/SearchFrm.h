// SearchFrm.h: the search window: finds mail-store files on this computer by name, size,
// attributes and times, lists them with their details, and hands the chosen ones to the
// Repair page (one file) or the Batch Repair page (several).
//
// One window is made with the main window and reused: criteria, results and the open or
// closed advanced panel stay from one opening to the next. The search runs on the
// user-interface thread (FileSearch), which keeps the window usable while it runs: Stop,
// closing the window and the timer run inside it.
#ifndef KRV_FRONTEND_APP_SEARCHFRM_H
#define KRV_FRONTEND_APP_SEARCHFRM_H

#include "frontend/framework/FileSearch.h"
#include "frontend/framework/TrelvSearchDialog.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class SearchForm;
}

class TSearchForm : public QDialog, public TTrelvSearchDialog {
    Q_OBJECT

public:
    // help opens the program's help page (the main window's Help).
    TSearchForm(QWidget* parent, std::function<void()> help);
    ~TSearchForm() override;

    QStringList Execute(bool multiSelect) override;

    bool Searching() const { return FSearching; }
    // The mount points searched for "Local Harddrives", joined by ';'.
    QString FixedDriveList() const { return FFixedDriveList; }
    // The entry of the folder list that stands for them.
    QString LocalHarddrivesText() const;
    FileSearch& Search() { return FSearch; }

protected:
    // Every way of closing comes here: while a search runs the user is asked first.
    void done(int result) override;

private:
    void FormCreate();
    SearchRequest BuildRequest() const;
    void btnSearchClick();
    void btnSelectDirClick();
    void btnAdvOptionsClick();
    void SetAdvOptControls();
    void lfFound(const FoundEntry& entry);
    void lfDirChange(const QString& folder);
    void lfFinished();
    void lfCancel();
    void lfEnd();
    void TimerTimer();
    void btnOKClick();
    void ClearSearchResults();
    void EndSearchDisplay();

    std::unique_ptr<Ui::SearchForm> ui;
    std::function<void()> FHelp;
    FileSearch FSearch;
    QTimer FTimer;
    QElapsedTimer FStartTime;
    QString FFixedDriveList;
    bool FSearching = false;
    bool FReportCancel = true;
    int FTag = 0; // 1: closed by OK with a result selected
};

// Enables or disables every control inside a container, at every depth.
void EnableChildren(QWidget* container, bool enabled);

#endif
