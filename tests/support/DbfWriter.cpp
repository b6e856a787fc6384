#include "tests/support/DbfWriter.h"

#include <QFile>
#include <QStringEncoder>

#include <stdexcept>

#include <shapefil.h>

std::vector<DbfWriter::Field> DbfWriter::ImportFields()
{
    return {
        {"L1__01", 'C', 60, 0}, {"L1__02", 'C', 15, 0}, {"L1__03", 'C', 8, 0},
        {"L1__04", 'C', 30, 0}, {"L1__05", 'C', 10, 0},
    };
}

DbfWriter::DbfWriter(const QString& path, const std::vector<Field>& fields)
{
    DBFHandle dbf = DBFCreateEx(QFile::encodeName(path).constData(), "LDID/38");
    if (!dbf)
        throw std::runtime_error("cannot create the dBASE file");
    for (const Field& field : fields) {
        if (DBFAddNativeFieldType(dbf, field.name.constData(), field.type, field.width,
                                  field.decimals) < 0) {
            DBFClose(dbf);
            throw std::runtime_error("cannot add a dBASE field");
        }
    }
    m_handle = dbf;
    m_fieldCount = int(fields.size());
}

DbfWriter::~DbfWriter()
{
    Close();
}

void DbfWriter::Add(const std::vector<QByteArray>& values, bool deleted)
{
    auto* dbf = static_cast<DBFHandle>(m_handle);
    const int record = m_records++;
    for (int field = 0; field < m_fieldCount; ++field) {
        QByteArray value =
            std::size_t(field) < values.size() ? values[std::size_t(field)] : QByteArray();
        DBFWriteAttributeDirectly(dbf, record, field, value.data());
    }
    if (deleted)
        DBFMarkRecordDeleted(dbf, record, 1);
}

void DbfWriter::AddEmployee(const QString& name, const QByteArray& amount,
                            const QByteArray& account)
{
    Add({Cp866(name), amount, QByteArray(), account, QByteArrayLiteral("X")});
}

void DbfWriter::Close()
{
    if (m_handle)
        DBFClose(static_cast<DBFHandle>(m_handle));
    m_handle = nullptr;
}

QByteArray Cp866(const QString& text)
{
    QStringEncoder encoder("IBM866");
    return encoder.encode(text);
}
