#pragma once

#include <QString>

class TTable;

// Writes the text registers of an export into the out folder: "list.txt" for the organisation
// named by choice, or one "list_<name>.txt" per organisation, in the view's order, for "Все"
// (named by ExportData::OutputFiles, so no two overwrite each other). The employees are read in
// one pass. An error stops the export at the organisation it concerns; the files of earlier
// organisations stay. renamedNote, when given, receives ExportData::RenamedFilesNote of the
// files written, also when a later one fails. Knows nothing of widgets.
void ExportTextRegisters(TTable& employees, TTable& organisations, const QString& choice,
                         QString* renamedNote = nullptr);
