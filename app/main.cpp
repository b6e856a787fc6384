#include <QApplication>

#include "app/TMainForm.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "ui/LookAndFeel.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    LookAndFeel::Install(application);

    // Each window once, in this order; the main window runs its start-up while created.
    TMainForm MainForm;
    TSettingsForm SettingsForm(MainForm, &MainForm);
    // ExportForm (TExportForm) and ImportForm (TImportForm) are created here, in this
    // order, once they exist; then MainForm.SetExportForm / SetImportForm.
    TEmployeeAddForm EmployeeAddForm(MainForm, &MainForm);
    // WordExportForm (TWordExportForm) is created here.
    MainForm.SetForms(&SettingsForm, &EmployeeAddForm);

    MainForm.show();
    return application.exec();
}
