#include <QApplication>

#include "app/TMainForm.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "export/TExportForm.h"
#include "export/TWordExportForm.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);

    // Each window once, in this order; the main window runs its start-up while created.
    TMainForm MainForm;
    TSettingsForm SettingsForm(MainForm, &MainForm);
    TExportForm ExportForm(MainForm, &MainForm);
    MainForm.SetExportForm(&ExportForm);
    // ImportForm (TImportForm) is created here, once it exists; then MainForm.SetImportForm.
    TEmployeeAddForm EmployeeAddForm(MainForm, &MainForm);
    TWordExportForm WordExportForm(&MainForm);
    MainForm.SetForms(&SettingsForm, &EmployeeAddForm);

    MainForm.show();
    return application.exec();
}
