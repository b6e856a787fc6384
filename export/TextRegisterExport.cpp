#include "export/TextRegisterExport.h"

#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/TextRegister.h"
#include "storage/TPathBuilder.h"

void ExportTextRegisters(TTable& employees, TTable& organisations, const QString& choice,
                         QString* renamedNote)
{
    const QList<ExportData::Organisation> chosen =
        ExportData::OrganisationsFor(organisations, choice);
    const QList<ExportData::OutputFile> files =
        ExportData::OutputFiles(choice, chosen, &TPathBuilder::GetOutTxtPath);
    QHash<QString, QList<ExportData::ListedEmployee>> listed;
    if (choice == ExportData::AllOrganizations)
        listed = ExportData::ListedEmployeesByOrganisation(employees);
    else
        listed.insert(choice, ExportData::ListedEmployeesOf(employees, choice));

    QList<std::pair<QString, ExportData::OutputFile>> written;
    const auto note = [&] {
        if (renamedNote)
            *renamedNote = ExportData::RenamedFilesNote(written);
    };
    try {
        for (qsizetype i = 0; i < chosen.size(); ++i) {
            const QString& name = chosen[i].Organization120;
            WriteFileAtomically(files[i].path, [&](QIODevice& device) {
                TextRegister::Write(device, chosen[i], listed.value(name));
            });
            written.append({name, files[i]});
        }
    } catch (...) {
        note();
        throw;
    }
    note();
}
