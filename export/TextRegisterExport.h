#pragma once

#include <QString>

class TTable;

// Writes the text registers of an export into the out folder: "list.txt" for the organisation
// named by choice, or one "list_<name>.txt" per organisation, in the view's order, for "Все"
// (named by ExportData::OutputFiles, so no two overwrite each other). The rows are read as
// stored (ExportData::ReadExport) and every register is built before the first file is
// written, so an unreadable amount or a text the register cannot hold writes no file; only a
// file that cannot be created or completed leaves the files of earlier organisations.
// Each file is kept in the register journal right after it is in place (ExportJournal).
// closingNote, when given, receives ExportJournal::ClosingNote of the files written (with
// ExportData::RenamedFilesNote), also when a later one fails. Knows nothing of widgets.
void ExportTextRegisters(TTable& employees, TTable& organisations, const QString& choice,
                         QString* closingNote = nullptr);
