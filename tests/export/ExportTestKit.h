#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include "export/ExportData.h"
#include "storage/layouts/RegisterJournal.h"
#include "tests/dialogs/DialogsTestKit.h"

// The main window's side of the export: its views over a temporary data folder and the
// text of its export selector.
class ExportViews final : public MainViews
{
public:
    // With the journal of written files, as the start-up makes it.
    ExportViews() { TRegisterJournal(TPathBuilder::GetEmployeeDBPath()).Ensure(); }

    TTable* OrgTable() const override { return m_views.OrgTable(); }
    TTable* EmployeeTable() const override { return m_views.EmployeeTable(); }
    QString OrgBoxExportText() const override { return SelectorText; }
    void ReopenTables() override {} // the store never moves here

    // An organisation with the fields the register reads.
    void AddOrg(const QString& name, const QString& accnt, const QString& contract)
    {
        StoreRows::AppendOrganization(
            *OrgTable(), {name, accnt, QStringLiteral("Директор"), QStringLiteral("Петров Петр Петрович"),
                          QStringLiteral("Сидорова Анна Ивановна"), contract, QStringLiteral("RUR")});
    }

    void AddEmployee(const QString& fio, const QString& accnt, const QString& org,
                     const QString& amount, bool listed = true)
    {
        StoreRows::AppendEmployee(*EmployeeTable(), fio, accnt, amount, org, listed);
    }

    QString SelectorText = ExportData::AllOrganizations;

private:
    FakeMainViews m_views;
};

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of a register file as text: CR LF split off, Windows-1251 decoded.
inline QStringList RegisterLines(const QString& path)
{
    QStringDecoder decoder("windows-1251");
    QString text = decoder.decode(ReadBytes(path));
    if (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

inline QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

inline QString TestDataPath(const QString& name)
{
    return qEnvironmentVariable("TESTDATA") + QLatin1Char('/') + name;
}
