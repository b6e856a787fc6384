#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>

#include "app/SelectionPass.h"
#include "storage/views/TQuery.h"
#include "storage/views/TTable.h"
#include "ui/MainViews.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QStyleOptionViewItem;
class TDataSource;
class TDBComboBox;
class TDBGrid;
class TExportTotalsLine;
class TGridFindField;
class Exception;
class TTableUpgrade;
class TTransaction;

// The main window: the employee grid with its editing rules, the organisation lists and
// the commands. Creating it runs the whole start-up sequence.
class TMainForm final : public QMainWindow, public MainViews
{
    Q_OBJECT
    Q_DISABLE_COPY(TMainForm)

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    TTable* OrgTable() const override;
    TTable* EmployeeTable() const override;
    QString OrgBoxExportText() const override;

    // The dialogs are created after the main window; until set, their commands only run
    // their checks.
    void ReopenTables() override;
    void SetForms(QDialog* settingsForm, QDialog* employeeAddForm);
    void SetExportForm(QDialog* exportForm);
    // openSourceDb asks for the source file and reports whether it opened.
    void SetImportForm(QDialog* importForm, std::function<bool()> openSourceDb);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's controls (TMainForm.cpp).
    void CreateControls();
    void ArrangeControls();

    // Start-up and the opening of the tables (TMainFormStartUp.cpp).
    void FormCreate();
    // The start-up steps from the folders to the filled lists; throws where one fails.
    void StartUp();
    void EnsureFolders();
    void TakeOverParadoxTables();
    void UpgradeTables();
    TTableUpgrade& Upgrade();
    void ReportBackupFailure(const Exception& error);
    void ReportDuplicateEmployees();
    void RejectUnknownLayouts();
    bool TablesActive() const;
    // A command's precondition: closed tables are first tried again; false, after saying
    // once why they are still closed.
    bool TablesOpen();
    // The start-up steps once more, quietly: their failure goes to the window, not a box.
    void OpenTablesAgain();
    // The window says whether the tables are open and why not (failure: the last attempt's
    // error); while a server keeps them closed it is asked again every few seconds.
    void ShowTablesState(const QString& failure);
    // The retry timer's tick: asks the server in the background, opens the tables once it
    // answers.
    void RetryOpenTables();
    void CreateEmployeeTable();
    void OpenOrganizationTable();
    void FillEmptyOrganizations();

    // Other computers' changes and F5 (TMainFormChanges.cpp).
    void WatchServerChanges();
    // Takes what other computers announced and shows it where it can.
    void RefreshChangedTables();
    // Refreshes the views of changed tables, unless a dialog is open or the row is in edit;
    // the rest waits for the next call.
    void ApplyChangedTables();
    // F5: a pending change stored, then every view read again from the store.
    void RefreshViews();

    // The menu and the buttons (TMainFormCommands.cpp).
    void settings1Click();
    void export1Click();
    void import1Click();
    void journal1Click();
    void AddButtonClick();
    void DelButtonClick();
    void SaveButtonClick();
    int OrgCount() const;

    // The grid's rules and the organisation lists (TMainFormGrid.cpp).
    void DBGrid1KeyPress(QChar& key);
    void EmployeeGridCellClick(int column);
    void EmployeeGridColEnter();
    void EmployeeGridColExit();
    void EmployeeGridDrawColumnCell(QPainter& painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index);
    void PlaceOrgBox(bool show);
    // The context menu over the chosen rows and its commands, each one pass over those rows.
    void EmployeeGridContextMenu(const QPoint& at);
    void FillOrganizationMenu();
    void ChangeSelectedEmployees(const SelectionPass::Change& change);
    void OrgBoxChange();
    void OrgBoxExportChange();
    void EmployeeTableBeforePost(TTable& table);
    void EmployeeTableAfterInsert(TTable& table);
    void EmployeeTablePostError(TTable& table, const EDatabaseError& error,
                                TTable::DataAction& action);
    QString ColumnField(int column) const;
    void ReplaceOrgTable();
    // keepChoice: the export choice stays as the user left it, even if that name is gone.
    void RefillOrgLists(bool keepChoice = false);

    // Controls, named as in the design.
    QAction* settings1 = nullptr;
    QAction* export1 = nullptr;
    QAction* import1 = nullptr;
    QAction* journal1 = nullptr;
    TDBGrid* EmployeeGrid = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* DelButton = nullptr;
    QPushButton* SaveButton = nullptr;
    TDBComboBox* OrgBox = nullptr;
    QComboBox* OrgBoxExport = nullptr;
    QMenu* EmployeeGridMenu = nullptr;
    QAction* mark1 = nullptr;
    QAction* unmark1 = nullptr;
    QMenu* organization1 = nullptr;
    QLabel* OrgBoxExportLabel = nullptr;
    TExportTotalsLine* ExportTotalsLine = nullptr; // under the grid, with the find field
    TGridFindField* FindField = nullptr;

    std::unique_ptr<TTable> FEmployeeTable;
    std::unique_ptr<TTable> FOrgTable;
    TDataSource* EmployeeDataSource = nullptr;
    TDataSource* orgds = nullptr;
    // The upgrade of older tables: its statement runner, its view of the employee table, and
    // one upgrade for both tables, so one copy of the store goes before the first change.
    TQuery Query1;
    std::unique_ptr<TTable> TempTable;
    std::unique_ptr<TTableUpgrade> FUpgrade;
    bool FBackupFailureShown = false;
    QTimer* FChangeTimer = nullptr;
    QLabel* TablesNotOpenLabel = nullptr; // over the grid while the tables are not open
    QTimer* FRetryTimer = nullptr;
    QString FNotOpenText;
    struct ServerAnswer;
    std::shared_ptr<ServerAnswer> FServerAnswer; // a question to the server not yet answered
    qint64 FNextServerQuestion = 0;              // msecs since epoch
    unsigned FOriginalOptions = 0;
    bool FInExportColumn = false;
    bool FOrgBoxChosen = false; // a choice hid the picker until the current cell moves
    // Another computer changed the organisations while a list was in use.
    bool FOrgListsStale = false;
    // Tables announced as changed whose views have not been refreshed yet.
    QStringList FChangedTables;

    QDialog* SettingsForm = nullptr;
    QDialog* EmployeeAddForm = nullptr;
    QDialog* ExportForm = nullptr;
    QDialog* ImportForm = nullptr;
    std::function<bool()> FOpenSourceDb;
};
