// The import window's reading of the old program's tables: employees from its "base.DB",
// organisations from the "config.DB" beside it.
#include "import/TImportForm.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <memory>
#include <set>

#include "core/Exception.h"
#include "import/EmployeeImport.h"
#include "import/ParadoxTable.h"
#include "import/ParadoxTakeOver.h"
#include "import/TDbfTable.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"
#include "storage/layouts/TableUpgrade.h"
#include "ui/Messages.h"

namespace {

const QString BadFormat = QStringLiteral("Error format source base");
const QString OrganizationFile = QStringLiteral("config");

// The current field of a layout, else its older form; -1 when neither is there.
int FindField(const TParadoxTable& table, const Layouts::TOlderField& field)
{
    const int current = table.FindField(field.Current);
    return current >= 0 ? current : table.FindField(field.Older);
}

QString OrganizationFileBeside(const QString& path)
{
    return TParadoxTakeOver::FindTableFile(QFileInfo(path).path(), OrganizationFile);
}

} // namespace

bool TImportForm::CheckParadoxSource(const QString& path)
{
    SourceTable->Close();
    ParadoxSource->Close();
    ParadoxSource->Open(path);
    // The organisations beside it are checked now, so a damaged file changes nothing.
    const QString organizations = OrganizationFileBeside(path);
    bool usable = FindField(*ParadoxSource, Layouts::OlderFioField) >= 0 &&
                  ParadoxSource->FindField(Layouts::AccntField) >= 0;
    if (usable && !organizations.isEmpty()) {
        TParadoxTable config;
        try {
            config.Open(organizations);
        } catch (const Exception&) {
            ParadoxSource->Close();
            throw;
        }
        usable = FindField(config, Layouts::OlderOrgNameField) >= 0;
    }
    if (!usable) {
        Messages::ShowMessage(BadFormat);
        ParadoxSource->Close();
    }
    return usable;
}

void TImportForm::AddParadoxOrganizations(const QString& path)
{
    TParadoxTable source;
    source.Open(path);
    const int nameField = FindField(source, Layouts::OlderOrgNameField);
    TTable organizations;
    organizations.SetDatabaseName(EmployeeTable->DatabaseName());
    organizations.SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
    organizations.Open();
    TField name = organizations.FieldByName(Layouts::OrgNameField);
    std::set<QString> present;
    for (organizations.First(); !organizations.Eof(); organizations.Next())
        present.insert(name.AsString());

    const int nameSize = name.Size();
    TTransaction transaction(organizations.DatabaseName());
    for (int record = 0; record < source.RecordCount(); ++record) {
        source.Read(record);
        const QString organization = TableSchema::CutToSize(source.Text(nameField), nameSize);
        if (organization.isEmpty() || !present.insert(organization).second)
            continue; // a name the store has stays as it is
        organizations.Insert();
        for (const TFieldDef& def : Layouts::OrganizationFields()) {
            const int from =
                def.Name == Layouts::OrgNameField ? nameField : source.FindField(def.Name);
            organizations.FieldByName(def.Name).SetAsString(from >= 0 ? source.Text(from)
                                                                      : QString());
        }
        try {
            organizations.Post();
        } catch (const EDatabaseError& error) {
            organizations.Cancel();
            if (error.ErrorKind() != EDatabaseError::Kind::RequiredBlank)
                throw;
            Messages::ShowMessage(QStringLiteral("Организация «%1» не добавлена: в файле «%2» "
                                                 "заполнены не все ее поля.")
                                      .arg(organization, QDir::toNativeSeparators(path)));
        }
    }
    transaction.Commit();
}

void TImportForm::ImportParadox()
{
    const QString organizations = OrganizationFileBeside(ParadoxSource->FileName());
    if (!organizations.isEmpty())
        AddParadoxOrganizations(organizations);
    // An older organisation value is carried over against the store's organisations.
    QStringList names;
    {
        TTable store;
        store.SetDatabaseName(EmployeeTable->DatabaseName());
        store.SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
        store.Open();
        const TField name = store.FieldByName(Layouts::OrgNameField);
        for (store.First(); !store.Eof(); store.Next())
            names << name.AsString();
    }

    TParadoxTable& source = *ParadoxSource;
    const int nameField = FindField(source, Layouts::OlderFioField);
    const int accountField = source.FindField(Layouts::AccntField);
    const int amountField = source.FindField(Layouts::AmountField);
    const int exportField = source.FindField(Layouts::ExportField);
    const int orgField = source.FindField(Layouts::OrgField);
    const int olderOrgField = source.FindField(Layouts::OlderOrgField.Older);

    int done = 0;
    EmployeeImport importer(*EmployeeTable, [this, &done] { ShowProgress(done); });
    try {
        for (; done < source.RecordCount(); KeepPainting(++done)) {
            source.Read(done);
            QString organization;
            if (orgField >= 0)
                organization = source.Text(orgField);
            else if (olderOrgField >= 0)
                organization =
                    TTableUpgrade::MatchOrganization(source.Text(olderOrgField), names);
            importer.Add(source.Text(nameField), source.Text(accountField),
                         source.Text(amountField), organization,
                         exportField < 0 || source.Value(exportField).toBool());
        }
    } catch (...) {
        ShowProgress(done);
        throw;
    }
    ShowProgress(done);
    importer.Commit();
}
