#pragma once

#include <QDialog>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

#include "export/ExportData.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TTable;
class WordApplication;
class WordSelection;
class WordTable;

// The Word export window: builds one statement per organisation from the office's template, or
// the one beside the program, and saves it in the out folder. Created once at start-up; SetData before each showing.
class TWordExportForm : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TWordExportForm)

public:
    explicit TWordExportForm(QWidget* parent = nullptr);
    ~TWordExportForm() override;

    // The window created at start-up, or nullptr before it exists.
    static TWordExportForm* Instance();

    // Data: the employee view; Config: the organisation view; str: a name or "Все".
    void SetData(TTable& Data, TTable& Config, const QString& str);

    // The template's full path: the office's in the base folder's templates/ when there is one,
    // else the packaged one in the program folder's templates/.
    static QString TemplatePath();

    QLabel* TopLabel;
    QLabel* TemplateLabel;
    QProgressBar* ExportProgressBar;
    QPushButton* StartButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void StartButtonClick();
    void Export();
    // Builds one statement numbered number and saves it as path; throws on the first step that
    // fails. Returns the bytes of the file written.
    QByteArray BuildStatement(WordApplication& Word, const ExportData::Organisation& organisation,
                              const QList<ExportData::ListedEmployee>& listed, const QString& path,
                              qint64 number, QDate date);
    void ShowTemplate();

    void FindAndReplace(WordSelection Selection, const QString& Find, const QString& Replace);
    std::optional<WordTable> FindTable(WordSelection Selection, const QString& Find);
    // Writes the listed employees into the table and returns the total text.
    QString FillTable(std::optional<WordTable>& WordTable,
                      const QList<ExportData::ListedEmployee>& Data);
    static QString ShortenName(const QString& name);

    friend class TestWordExportForm;

    TTable* Data = nullptr;
    TTable* Config = nullptr;
    QString str;
    QString temp;
};
