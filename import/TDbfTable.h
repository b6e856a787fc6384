#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

class TDbfTable;

// A field of the current record of a dBASE table, reached by name; a light handle.
class TDbfField
{
public:
    TDbfField(const TDbfTable* table, int index) : m_table(table), m_index(index) {}

    int Index() const { return m_index; }
    // The stored bytes without the blanks around them; empty when blank. A field whose
    // kind is not text throws EDatabaseError.
    QByteArray AsBytes() const;
    // The stored bytes read as Windows-1251 text.
    QString AsString() const;
    // The dBASE kind ('C', 'N', ...); only the kinds whose bytes are text can be read.
    char Type() const;
    bool IsText() const;

private:
    const TDbfTable* m_table;
    int m_index;
};

// A dBASE (".dbf") table file opened for reading by its full path: fields by name, records
// in file order, those marked as deleted skipped. The header is checked against the file
// before any record is read, so a damaged or lying file fails to open instead of being
// read past its end. Errors are EDatabaseError naming the file.
class TDbfTable final
{
public:
    TDbfTable();
    ~TDbfTable();
    TDbfTable(const TDbfTable&) = delete;
    TDbfTable& operator=(const TDbfTable&) = delete;

    void SetTableName(const QString& path) { m_tableName = path; }
    const QString& TableName() const { return m_tableName; }

    void Open(); // reads the file named by TableName
    // Opens file contents already in memory; name is used in messages.
    void OpenBytes(QByteArray contents, const QString& name);
    void Close();
    bool Active() const { return m_handle != nullptr; }

    QStringList FieldNames() const;
    int FindField(const QString& name) const; // -1 when missing
    TDbfField FieldByName(const QString& name) const;
    // Characters ('C') and numbers written as digits ('N', 'F').
    static bool IsTextType(char type);
    static QString TypeName(char type); // in Russian

    void First();
    void Next();
    bool Eof() const { return m_eof; }
    int RecordCount() const; // every stored record, deleted ones included
    int RecNo() const;       // 1-based place of the current record in the file; 0 when none

private:
    friend class TDbfField;
    struct Handle;

    void CheckActive() const;
    void MoveFrom(int record);
    QByteArray ReadField(int field) const;

    QString m_tableName;
    QByteArray m_contents;
    Handle* m_handle = nullptr;
    std::vector<char> m_types;
    int m_current = -1;
    bool m_eof = true;
};
