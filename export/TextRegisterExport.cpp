#include "export/TextRegisterExport.h"

#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/TextRegister.h"
#include "storage/TPathBuilder.h"

namespace {

void WriteRegisterFile(const ExportData::Organisation& organisation,
                       const QList<ExportData::ListedEmployee>& employees, const QString& tag)
{
    WriteFileAtomically(TPathBuilder::GetOutTxtPath(tag), [&](QIODevice& device) {
        TextRegister::Write(device, organisation, employees);
    });
}

} // namespace

void ExportTextRegisters(TTable& employees, TTable& organisations, const QString& choice)
{
    const QList<ExportData::Organisation> chosen =
        ExportData::OrganisationsFor(organisations, choice);
    if (choice != ExportData::AllOrganizations) {
        const ExportData::Organisation& organisation = chosen.front();
        WriteRegisterFile(organisation,
                          ExportData::ListedEmployeesOf(employees, organisation.Organization120),
                          QString());
        return;
    }
    const auto listed = ExportData::ListedEmployeesByOrganisation(employees);
    for (const ExportData::Organisation& organisation : chosen) {
        WriteRegisterFile(organisation, listed.value(organisation.Organization120),
                          ExportData::FileTag(organisation.Organization120));
    }
}
