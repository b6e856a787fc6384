#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

// One register or statement written, as the journal keeps it.
struct TRegisterEntry
{
    qint64 Id = -1;
    QDateTime Made; // local time, to the second
    QString Org;
    QString Kind; // "list" for a register, "statement" for a statement
    QString FileName;
    int Employees = 0;
    QString Total; // as the register's total line prints it
    QString Sha256; // of the file's bytes, lower-case hex
    QString UserName;
    QString Host;
};

// The journal of every file an export wrote, with its bytes, in the store of a data folder
// (the table "registers", on either engine). Nothing is ever removed from it.
class TRegisterJournal
{
public:
    static inline const QString KindList = QStringLiteral("list");
    static inline const QString KindStatement = QStringLiteral("statement");

    explicit TRegisterJournal(QString folder);

    // Creates the table when the store lacks it.
    void Ensure() const;
    // Stores one written file; the digest is taken of the bytes given. Returns its number.
    qint64 Add(TRegisterEntry entry, const QByteArray& content) const;
    // Stores one file that prints its own number. write(number) puts the file in place and
    // returns its bytes; the row is taken first inside a transaction, so the number is the
    // row's. A write that throws leaves no row; when the row cannot be kept after the file is
    // in place, remove() takes the file away again. Either both stay or neither.
    qint64 AddNumbered(TRegisterEntry entry, const std::function<QByteArray(qint64)>& write,
                       const std::function<void()>& remove) const;
    // Newest first, without the bytes.
    std::vector<TRegisterEntry> Entries() const;
    // The bytes kept of one file; a null array when the number names none.
    QByteArray Content(qint64 id) const;

    static QString Digest(const QByteArray& content);

private:
    QString m_folder;
};
