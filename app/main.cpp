#include <QApplication>

#include "app/TMainForm.h"
#include "core/Platform.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "export/TExportForm.h"
#include "export/TWordExportForm.h"
#include "import/TImportForm.h"
#include "ui/LookAndFeel.h"

int main(int argc, char* argv[])
{
    // The tables hold salaries: what the program writes is for the office's group only.
    Platform::KeepFilesInGroup();
    QApplication application(argc, argv);
    LookAndFeel::Install(application);

    // Each window once, in this order; the main window runs its start-up while created.
    TMainForm MainForm;
    TSettingsForm SettingsForm(MainForm, &MainForm);
    TExportForm ExportForm(MainForm, &MainForm);
    MainForm.SetExportForm(&ExportForm);
    TImportForm ImportForm(&MainForm);
    MainForm.SetImportForm(&ImportForm, [&ImportForm] { return ImportForm.OpenSourceDb(); });
    TEmployeeAddForm EmployeeAddForm(MainForm, &MainForm);
    TWordExportForm WordExportForm(&MainForm);
    MainForm.SetForms(&SettingsForm, &EmployeeAddForm);

    MainForm.show();
    return application.exec();
}
