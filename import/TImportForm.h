#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <memory>

#include "import/TOpenDialog.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class TDbfTable;
class TParadoxTable;
class TTable;

// Adds employees read from a dBASE file or from the old program's employee table, through a view of its own on the employee table.
// The main window's "Импорт" asks OpenSourceDb first and shows the window only when the
// file opened with the fields it needs; the import runs as the window comes up.
class TImportForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TImportForm)

public:
    explicit TImportForm(QWidget* parent = nullptr);
    ~TImportForm() override;

    // Lets the user choose the source file; true when it opened with the required fields.
    bool OpenSourceDb();

    // The window cannot be closed while an import runs.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    bool CheckSourceTable(const QString& path);
    void ImportData();
    // Returns what it did: "Добавлено: A, обновлено: U, без изменений: K.".
    QString ImportDbf();
    // The old program's tables ("base.DB" and the "config.DB" beside it); TImportFormParadox.cpp.
    bool CheckParadoxSource(const QString& path);
    void ImportParadox();
    void AddParadoxOrganizations(const QString& path);
    void OkButtonClick();

    void FitLabel();
    void KeepPainting(int record);
    void ShowProgress(int record); // record: the last one gone through, 0 for none

    QLabel* ProgreesLabel;
    QProgressBar* ProgressBar;
    QPushButton* OkButton;

    std::unique_ptr<TDbfTable> SourceTable;
    std::unique_ptr<TParadoxTable> ParadoxSource;
    TTable* EmployeeTable;
    TOpenDialog OpenDialog;
    bool FImporting = false;
    QElapsedTimer FPaintClock;
};
