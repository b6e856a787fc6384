#include "export/TextRegisterExport.h"

#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/ExportJournal.h"
#include "export/TextRegister.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/TPathBuilder.h"

void ExportTextRegisters(TTable& employees, TTable& organisations, const QString& choice,
                         QString* closingNote)
{
    const ExportData::ExportRows rows = ExportData::ReadExport(employees, organisations, choice);
    const QList<ExportData::Organisation>& chosen = rows.organisations;
    const QList<ExportData::OutputFile> files =
        ExportData::OutputFiles(choice, chosen, &TPathBuilder::GetOutTxtPath);
    // Every register is built, and so checked, before the first file is written.
    QList<QByteArray> registers;
    registers.reserve(chosen.size());
    for (qsizetype i = 0; i < chosen.size(); ++i)
        registers.append(TextRegister::Build(chosen[i], rows.listed[i]));

    QList<std::pair<QString, ExportData::OutputFile>> written;
    ExportJournal journal(TRegisterJournal::KindList);
    const auto note = [&] {
        if (closingNote)
            *closingNote = journal.ClosingNote(ExportData::RenamedFilesNote(written));
    };
    try {
        for (qsizetype i = 0; i < chosen.size(); ++i) {
            WriteFileAtomically(files[i].path, [&](QIODevice& device) {
                TextRegister::Write(device, registers[i]);
            });
            written.append({chosen[i].Organization120, files[i]});
            journal.Keep(chosen[i], files[i].path, int(rows.listed[i].size()),
                         ExportData::Total(rows.listed[i]), registers[i]);
        }
    } catch (...) {
        note();
        throw;
    }
    note();
}
