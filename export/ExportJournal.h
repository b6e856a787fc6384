#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "export/ExportData.h"
#include "storage/layouts/RegisterJournal.h"

// The files of one export, each kept in the register journal of the data folder as soon as it
// is in place. Every row is a transaction of its own: a later failure keeps the rows before
// it. A row the store refuses leaves the file where it is; the closing note says which files
// the journal lacks and why. Knows nothing of widgets.
class ExportJournal
{
public:
    // kind: TRegisterJournal::KindList or KindStatement.
    explicit ExportJournal(QString kind);

    // path: the file just put in place; content: its bytes as written.
    void Keep(const ExportData::Organisation& organisation, const QString& path, int employees,
              ExportData::Money total, const QByteArray& content);

    // For a file that prints its journal number and date: write(number, date) puts it at path
    // and returns its bytes. The row and the file are kept together or not at all; an error
    // of either is thrown, and no file is left without its row.
    void KeepNumbered(const ExportData::Organisation& organisation, const QString& path,
                      int employees, ExportData::Money total,
                      const std::function<QByteArray(qint64 number, QDate date)>& write);

    const QList<qint64>& Numbers() const { return m_numbers; }
    int Written() const { return m_written; }

    // What the export leaves behind: the file or the count written, the journal numbers,
    // the files the journal lacks, then the note of renamed files. Empty when nothing was
    // written.
    QString ClosingNote(const QString& renamedNote = {}) const;

    // "Номер в журнале: 17", "Номера в журнале: 17–19, 22".
    static QString NumbersText(const QList<qint64>& numbers);

private:
    TRegisterEntry Entry(const ExportData::Organisation& organisation, const QString& path,
                         int employees, ExportData::Money total) const;

    QString m_kind;
    QString m_folder;
    int m_written = 0;
    QString m_lastFile;
    QList<qint64> m_numbers;
    QStringList m_unkept;
    QString m_reason; // of the first row the store refused
};
