// The main window's commands: the menu, the buttons under the grid, and closing.
#include "app/TMainForm.h"

#include <QCloseEvent>
#include <QDialog>

#include "app/TMainFormParts.h"
#include "export/TJournalForm.h"
#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"
#include "ui/TDBGrid.h"

using namespace MainFormParts;

int TMainForm::OrgCount() const
{
    return FOrgTable ? FOrgTable->RecordCount() : 0;
}

void TMainForm::settings1Click()
{
    Guarded([this] {
        if (!TablesActive())
            OpenTablesAgain();
        if (!TablesActive()) {
            // Without the organisations: the settings of the server may mend the connection.
            if (SettingsForm)
                SettingsForm->exec();
            if (!TablesActive())
                OpenTablesAgain();
            return;
        }
        EmployeeGrid->CommitEditor();
        if (SettingsForm)
            SettingsForm->exec();
        FEmployeeTable->Refresh();
        ReplaceOrgTable();
        RefillOrgLists();
    });
}

void TMainForm::export1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->RecordCount() == 0) {
            Messages::ShowMessage(QStringLiteral("Таблица сотрудников не заполнена"));
            return;
        }
        if (OrgCount() == 0) {
            Messages::ShowMessage(QStringLiteral("Необходимо добавить организацию"));
            return;
        }
        if (ExportForm)
            ExportForm->exec();
    });
}

void TMainForm::journal1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        TJournalForm form(this);
        form.exec();
    });
}

void TMainForm::import1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (ImportForm && FOpenSourceDb && FOpenSourceDb())
            ImportForm->exec();
        FEmployeeTable->Refresh();
        // An import of the old program's tables may have added organisations.
        const int organizations = OrgCount();
        ReplaceOrgTable();
        if (OrgCount() != organizations)
            RefillOrgLists();
    });
}

void TMainForm::AddButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (OrgCount() == 0) {
            Messages::ShowMessage(
                QStringLiteral("Первоначально необходимо добавить организацию."));
            return;
        }
        if (EmployeeAddForm)
            EmployeeAddForm->exec();
        FEmployeeTable->Refresh();
    });
}

void TMainForm::DelButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        TTable& employees = *FEmployeeTable;
        const QString fio = employees.FieldByName(FioField).AsString();
        const QString accnt = employees.FieldByName(AccntField).AsString();
        if (Messages::AskYesNo(QStringLiteral("Вы действительно хотите удалить сотрудника ") +
                                   fio + QLatin1Char(' ') + accnt + QLatin1Char('?'),
                               QStringLiteral("Удаление")))
            employees.Delete();
    });
}

void TMainForm::SaveButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->GetState() != TTable::State::Edit)
            return;
        FEmployeeTable->Post();
        Messages::ShowMessage(QStringLiteral("Сохранено"));
    });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    const bool canClose = Guarded([this] {
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->GetState() != TTable::State::Edit)
            return;
        if (Messages::AskYesNo(QStringLiteral("Есть несохраненные данные. Сохранить?"),
                               QStringLiteral("Завершение программы.")))
            FEmployeeTable->Post();
        else
            FEmployeeTable->Cancel();
    });
    if (canClose)
        event->accept();
    else
        event->ignore(); // the refused row stays in edit
}
