#pragma once

#include <QString>
#include <QStringList>

#include "storage/FieldDefs.h"

// A table's layout as its store file holds it, read without writing a byte to the file, so
// start-up can refuse a table it does not know before it changes anything.
class TStoredLayout final
{
public:
    // Reads the table (any letter case, an optional ".db") from the folder's store file,
    // opened read-only. A missing or unreadable file, or a missing table, reads as absent:
    // the ordinary open reports those.
    static TStoredLayout Read(const QString& folder, const QString& tableName);
    // The store file of a folder, as the user sees its path.
    static QString StoreFile(const QString& folder);

    bool Exists() const { return m_exists; }
    const QString& FilePath() const { return m_filePath; }

    // What keeps the program from using the table, in words ("нет поля «Org120»"):
    // a field missing or of another kind, an index missing. Empty when nothing does.
    QString Lacks(const TFieldDefs& fields, const QStringList& indexNames) const;

private:
    bool m_exists = false;
    QString m_filePath;
    QString m_name;
    TFieldDefs m_fields;
    QStringList m_indexes;
};
