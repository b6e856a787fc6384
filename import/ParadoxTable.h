#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

// A field of a Paradox table as its header describes it.
struct TParadoxField
{
    QString Name;
    int Type = 0;   // the format's field type code
    int Width = 0;  // bytes in the record
    int Offset = 0; // place in the record
};

// A Paradox (".DB") table read with pxlib from a file checked first: the header, the
// field descriptors and the data block chain are held against the file's size before
// pxlib sees a byte, so a damaged or lying file fails to open instead of being read past
// its end. Texts are decoded from the table's own code page. Errors are EDatabaseError
// naming the file; an encrypted table is refused with a message of its own.
class TParadoxTable final
{
public:
    TParadoxTable();
    ~TParadoxTable();
    TParadoxTable(const TParadoxTable&) = delete;
    TParadoxTable& operator=(const TParadoxTable&) = delete;

    void Open(const QString& path);
    // Opens file contents already in memory; name is used in messages.
    void OpenBytes(QByteArray contents, const QString& name);
    void Close();
    bool Active() const { return m_handle != nullptr; }
    const QString& FileName() const { return m_name; }

    const std::vector<TParadoxField>& Fields() const { return m_fields; }
    QStringList FieldNames() const;
    int FindField(const QString& name) const; // exact name; -1 when missing
    int RecordCount() const { return m_recordCount; }
    int CodePage() const { return m_codePage; }

    // Makes record (0-based, in the order of the block chain) the current one.
    void Read(int record);
    // A field of the current record: QString for alpha, date and time kinds, bool for
    // logical, qint64 for the integer kinds, double for number and currency; a null
    // QVariant when blank or of a kind that is not carried over (memo, BLOb, graphic,
    // OLE, BCD, bytes).
    QVariant Value(int field) const;
    // The same value as text, as a text field stores it; empty when blank.
    QString Text(int field) const;

    // Whether values of a field kind are read at all.
    static bool Carried(int type);

private:
    struct Handle;

    QString m_name;
    QByteArray m_contents;
    std::vector<TParadoxField> m_fields;
    int m_recordCount = 0;
    int m_codePage = 0;
    QByteArray m_record;
    Handle* m_handle = nullptr;
};
