#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <memory>

#include "core/Platform.h"
#include "export/DocumentViewer.h"
#include "export/TWordExportForm.h"
#include "storage/layouts/RegisterJournal.h"
#include "tests/dialogs/DialogsTestKit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDataFolder.h"

// A statement export set up as the program has it: a temporary data folder with the two
// tables, the packed template as the program folder's, recorded messages and opened documents.
class StatementFixture final
{
public:
    StatementFixture()
        : m_folder(std::make_unique<TempDataFolder>()), m_views(std::make_unique<FakeMainViews>())
    {
        UseProgramFolder(QFileInfo(QStringLiteral(EXPORT_TEMPLATE)).dir().absolutePath() +
                         QStringLiteral("/.."));
        DocumentViewer::SetOpener([this](const QString& path) { Opened.append(path); });
        TRegisterJournal(DataDir()).Ensure(); // as the start-up makes it
    }
    ~StatementFixture()
    {
        DocumentViewer::SetOpener({});
        Platform::SetProgramFolder(QString());
    }
    StatementFixture(const StatementFixture&) = delete;
    StatementFixture& operator=(const StatementFixture&) = delete;

    static void UseProgramFolder(const QString& folder) { Platform::SetProgramFolder(folder); }

    TTable& Employees() { return *m_views->EmployeeTable(); }
    TTable& Orgs() { return *m_views->OrgTable(); }
    QString OutDir() const { return m_folder->OutDir(); }
    QString DataDir() const { return m_folder->DataDir(); }
    QString Root() const { return m_folder->Root(); }

    void AddOrg(const QString& name, const QString& director = QStringLiteral("Петров Петр Петрович"),
                const QString& accountant = QStringLiteral("Сидорова Анна Ивановна"))
    {
        StoreRows::AppendOrganization(Orgs(), {name, QStringLiteral("40702810900000000001"),
                                               QStringLiteral("Директор"), director, accountant,
                                               QStringLiteral("17"), QStringLiteral("RUR")});
    }

    void AddEmployee(const QString& fio, const QString& accnt, const QString& org,
                     const QString& amount, bool listed = true)
    {
        StoreRows::AppendEmployee(Employees(), fio, accnt, amount, org, listed);
    }

    // Runs the window's export for a choice as its button does.
    void Export(TWordExportForm& form, const QString& choice)
    {
        form.SetData(Employees(), Orgs(), choice);
        form.StartButton->click();
    }

    QStringList OutFiles() const
    {
        return QDir(OutDir()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QStringList Opened;
    MessageRecorder Messages;

private:
    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<FakeMainViews> m_views;
};
