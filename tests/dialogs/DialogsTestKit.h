#pragma once

#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include "storage/layouts/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/support/StoreRows.h"
#include "tests/support/Typing.h"
#include "ui/MainViews.h"

// The main window's side of the dialogs: its own views over a temporary data folder.
class FakeMainViews final : public MainViews
{
public:
    FakeMainViews()
    {
        OpenEmployees();
        ReopenOrgTable();
    }

    // The main window replaces its organisation view after the settings dialog.
    void ReopenOrgTable()
    {
        m_orgs.reset();
        m_orgs = std::make_unique<TTable>();
        m_orgs->SetDatabaseName(TPathBuilder::GetSettingsDBPath());
        m_orgs->SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
        m_orgs->FieldDefs() = Layouts::OrganizationFields();
        m_orgs->IndexDefs() = Layouts::OrganizationIndexes();
        if (!m_orgs->Exists())
            m_orgs->CreateTable();
        m_orgs->Open();
    }

    void OpenEmployees()
    {
        const QString folder = TPathBuilder::GetEmployeeDBPath();
        m_employees = std::make_unique<TTable>();
        m_employees->SetDatabaseName(folder);
        m_employees->SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
        m_employees->FieldDefs() = Layouts::EmployeeFields();
        m_employees->IndexDefs() = Layouts::EmployeeIndexes();
        if (!m_employees->Exists())
            m_employees->CreateTable();
        m_employees->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
        m_employees->Open();
    }

    TTable* OrgTable() const override { return m_orgs.get(); }
    TTable* EmployeeTable() const override { return m_employees.get(); }
    QString OrgBoxExportText() const override { return {}; }
    void ReopenTables() override
    {
        Session().CloseAll();
        OpenEmployees();
        ReopenOrgTable();
    }

    void AddOrg(const QString& name, const QString& tag = QStringLiteral("1"))
    {
        StoreRows::AppendOrganization(
            *m_orgs, {name, QStringLiteral("40702810") + tag, QStringLiteral("Директор"),
                      QStringLiteral("Петров П.П.") + tag, QStringLiteral("Сидорова С.С."),
                      QStringLiteral("77") + tag, QStringLiteral("RUR")});
    }

    void AddEmployee(const QString& fio, const QString& accnt, const QString& org,
                     const QString& amount = QStringLiteral("100"))
    {
        StoreRows::AppendEmployee(*m_employees, fio, accnt, amount, org);
    }

    static QStringList OrgFieldNames() { return StoreRows::OrganizationFieldNames(); }

    // The stored rows, read afresh: "field=value" joined per row, in the view's order.
    static QStringList StoredRows(const QString& table, const QStringList& fields)
    {
        TTable view;
        view.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
        view.SetTableName(table);
        view.Open();
        QStringList rows;
        for (view.First(); !view.Eof(); view.Next()) {
            QStringList cells;
            for (const QString& field : fields)
                cells << view.FieldByName(field).AsString();
            rows << cells.join(QLatin1Char('|'));
        }
        return rows;
    }

    static QStringList StoredEmployees()
    {
        return StoredRows(QStringLiteral("base"),
                          {QStringLiteral("Fio100"), QStringLiteral("Accnt"),
                           QStringLiteral("Amount"), QStringLiteral("Export"),
                           QStringLiteral("Org120")});
    }

    // One organisation's seven fields as stored, "|"-joined; empty when it is missing.
    static QString StoredOrg(const QString& name)
    {
        const QStringList rows = StoredRows(QStringLiteral("config"), OrgFieldNames());
        for (const QString& row : rows) {
            if (row.section(QLatin1Char('|'), 0, 0) == name)
                return row;
        }
        return {};
    }

    static QStringList StoredOrgNames()
    {
        return StoredRows(QStringLiteral("config"), {QStringLiteral("Organization120")});
    }

    // A statement straight on the store, e.g. a trigger that makes a write fail.
    static void Exec(const QString& sql)
    {
        TQuery query;
        query.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
        query.SQL = sql;
        query.ExecSQL();
    }

private:
    std::unique_ptr<TTable> m_employees;
    std::unique_ptr<TTable> m_orgs;
};
