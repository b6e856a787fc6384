#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Writes dBASE files with shapelib: the fixtures of the import's tests and benchmarks.
class DbfWriter
{
public:
    struct Field
    {
        QByteArray name;
        char type = 'C';
        int width = 0;
        int decimals = 0;
    };

    // The source layout the import reads: L1__01 to L1__05, with the amount as text.
    static std::vector<Field> ImportFields();

    DbfWriter(const QString& path, const std::vector<Field>& fields);
    ~DbfWriter();
    DbfWriter(const DbfWriter&) = delete;
    DbfWriter& operator=(const DbfWriter&) = delete;

    // One record of raw stored bytes, field by field (missing ones are blank).
    void Add(const std::vector<QByteArray>& values, bool deleted = false);
    // One record of the import layout: name as CP866, amount, account.
    void AddEmployee(const QString& name, const QByteArray& amount, const QByteArray& account);
    void Close();

    int Records() const { return m_records; }

private:
    void* m_handle = nullptr;
    int m_fieldCount = 0;
    int m_records = 0;
};

// Text as its CP866 bytes.
QByteArray Cp866(const QString& text);
