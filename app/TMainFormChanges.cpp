// The main window's watch over changes: what other computers announced is shown in the
// views, and F5 reads every view again.
#include "app/TMainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include "storage/engine/StoreConnection.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"
#include "ui/ErrorBoundary.h"
#include "ui/TDBComboBox.h"
#include "ui/TDBGrid.h"

void TMainForm::WatchServerChanges()
{
    if (FChangeTimer || !FEmployeeTable->Active() ||
        !Session().Connect(TPathBuilder::GetEmployeeDBPath(), false)->IsServer())
        return;
    // Only a server announces other computers' writes.
    FChangeTimer = new QTimer(this);
    connect(FChangeTimer, &QTimer::timeout, this, &TMainForm::RefreshChangedTables);
    FChangeTimer->start(500);
}

void TMainForm::ReopenTables()
{
    Session().CloseAll();
    FormCreate();
    Guarded([this] { WatchServerChanges(); });
}

void TMainForm::RefreshChangedTables()
{
    if (!FEmployeeTable->Active() || !FOrgTable || !FOrgTable->Active())
        return;
    try {
        const std::shared_ptr<StoreConnection> store =
            Session().Connect(TPathBuilder::GetEmployeeDBPath(), false);
        if (store) {
            for (const QString& table : store->TakeChanges()) {
                if (!FChangedTables.contains(table.toLower()))
                    FChangedTables << table.toLower();
            }
        }
    } catch (const Exception&) {
        // A lost connection is told by the next command that needs the tables.
    }
    ApplyChangedTables();
}

void TMainForm::ApplyChangedTables()
{
    // A dialog works on the views it was opened with: what others changed meanwhile is shown
    // once it closes, and a row in edit is refreshed once it is stored or dropped.
    if (FChangedTables.isEmpty() || QApplication::activeModalWidget() ||
        !FEmployeeTable->Active() || !FOrgTable || !FOrgTable->Active())
        return;
    try {
        for (TTable* view : {FEmployeeTable.get(), FOrgTable.get()}) {
            const QString table = StoreConnection::BareTableName(view->TableName()).toLower();
            if (!FChangedTables.contains(table) ||
                view->GetState() != TTable::State::Browse)
                continue;
            FChangedTables.removeAll(table);
            view->Refresh();
            if (view == FOrgTable.get())
                FOrgListsStale = true;
        }
        // The lists are not refilled under a user who is choosing from one of them.
        const bool choosing = OrgBox->isVisible() || OrgBoxExport->view()->isVisible();
        if (FOrgListsStale && !choosing && FOrgTable->GetState() == TTable::State::Browse) {
            FOrgListsStale = false;
            RefillOrgLists(true);
        }
    } catch (const Exception&) {
        // Left for the next call, as a lost connection is.
    }
}

void TMainForm::RefreshViews()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        FChangedTables.clear();
        FEmployeeTable->Refresh();
        FOrgTable->Refresh();
        RefillOrgLists(true);
    });
}
