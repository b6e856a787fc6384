#include "import/TDbfTable.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include <shapefil.h>

#include "core/Exception.h"
#include "core/SystemReason.h"
#include "import/CodePages.h"
#include "import/HeaderBytes.h"

namespace {

using HeaderBytes::DoubleWord;
using HeaderBytes::FileText;
using HeaderBytes::Word;

constexpr qsizetype FileHeaderSize = 32;
constexpr qsizetype FieldHeaderSize = 32;
constexpr char HeaderTerminator = 0x0D;

// The first bytes of the dBASE variants whose header and field descriptors have the layout
// read here (FoxBASE, dBASE III to 5, FoxPro, Visual FoxPro); dBASE 7 (0x04) lays them out
// otherwise.
bool KnownVersion(unsigned char version)
{
    switch (version) {
    case 0x02:
    case 0x03:
    case 0x05:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x7B:
    case 0x83:
    case 0x8B:
    case 0x8E:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
        return true;
    default:
        return false;
    }
}

bool KnownFieldType(char type)
{
    return type != 0 && std::strchr("CNFLDMBGIYT@+O0VWQ", type) != nullptr;
}

[[noreturn]] void Damaged(const QString& name, const QString& reason)
{
    HeaderBytes::Damaged("dBASE", name, reason);
}

struct FieldLayout
{
    QString name;
    char type;
};

// Checks everything in the header that shapelib would take on trust: the field
// descriptors against the header length, the widths against the record length and the
// records against the file's size.
std::vector<FieldLayout> CheckLayout(const QByteArray& data, const QString& name)
{
    const qsizetype size = data.size();
    if (size < FileHeaderSize)
        Damaged(name, QStringLiteral("файл короче заголовка"));
    if (!KnownVersion(static_cast<unsigned char>(data[0])))
        Damaged(name, QStringLiteral("неизвестный тип файла"));
    const quint32 records = DoubleWord(data, 4);
    const qsizetype headerLength = Word(data, 8);
    const qsizetype recordLength = Word(data, 10);
    if (headerLength < FileHeaderSize + FieldHeaderSize || headerLength > size)
        Damaged(name, QStringLiteral("длина заголовка (%1) не согласуется с размером файла")
                          .arg(headerLength));

    std::vector<FieldLayout> fields;
    qsizetype width = 1; // the deletion mark
    for (qsizetype at = FileHeaderSize; at + FieldHeaderSize <= headerLength;
         at += FieldHeaderSize) {
        if (data[at] == HeaderTerminator)
            break;
        const char* descriptor = data.constData() + at;
        const QString fieldName =
            CodePages::FromWindows1251(QByteArrayView(descriptor, qstrnlen(descriptor, 11)))
                .trimmed();
        const char type = descriptor[11];
        const int fieldWidth = static_cast<unsigned char>(descriptor[16]);
        if (!KnownFieldType(type))
            Damaged(name, QStringLiteral("поле «%1» неизвестного типа").arg(fieldName));
        if (fieldWidth == 0)
            Damaged(name, QStringLiteral("поле «%1» нулевой ширины").arg(fieldName));
        width += fieldWidth;
        fields.push_back({fieldName, type});
    }
    if (fields.empty())
        Damaged(name, QStringLiteral("в заголовке нет описаний полей"));
    if (width != recordLength)
        Damaged(name, QStringLiteral("длина записи (%1) не равна сумме ширин полей (%2)")
                          .arg(recordLength)
                          .arg(width));
    if (records > quint32(INT_MAX))
        Damaged(name, QStringLiteral("неверное число записей (%1)").arg(records));
    // Records past the header's count are not read, as by other dBASE readers.
    const qint64 end = qint64(headerLength) + qint64(records) * qint64(recordLength);
    if (end > size)
        Damaged(name,
                QStringLiteral("файл короче, чем указано в заголовке (записей: %1)").arg(records));
    return fields;
}

// shapelib reads through these hooks from the checked bytes in memory, so what it reads
// is exactly what was checked, and it looks for no companion files.
struct MemoryFile
{
    const QByteArray* data;
    SAOffset position;
};

thread_local const QByteArray* t_opening = nullptr;

SAFile MemoryOpen(const char* fileName, const char* access)
{
    const qsizetype length = qsizetype(std::strlen(fileName));
    const bool table = length >= 4 && qstricmp(fileName + length - 4, ".dbf") == 0;
    if (!t_opening || !table || access[0] != 'r' || std::strchr(access, '+'))
        return nullptr;
    auto* file = new (std::nothrow) MemoryFile{t_opening, 0};
    return reinterpret_cast<SAFile>(file);
}

SAOffset MemoryRead(void* buffer, SAOffset size, SAOffset count, SAFile handle)
{
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    const SAOffset total = SAOffset(file->data->size());
    if (size == 0 || file->position >= total)
        return 0;
    const SAOffset items = std::min(count, (total - file->position) / size);
    std::memcpy(buffer, file->data->constData() + file->position, items * size);
    file->position += items * size;
    return items;
}

SAOffset MemoryWrite(void*, SAOffset, SAOffset, SAFile)
{
    return 0;
}

SAOffset MemorySeek(SAFile handle, SAOffset offset, int whence)
{
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    const SAOffset total = SAOffset(file->data->size());
    SAOffset target = offset;
    if (whence == SEEK_CUR)
        target = file->position + offset;
    else if (whence == SEEK_END)
        target = total + offset;
    if (target > total)
        return SAOffset(-1);
    file->position = target;
    return 0;
}

SAOffset MemoryTell(SAFile handle)
{
    return reinterpret_cast<MemoryFile*>(handle)->position;
}

int MemoryFlush(SAFile)
{
    return 0;
}

int MemoryClose(SAFile handle)
{
    delete reinterpret_cast<MemoryFile*>(handle);
    return 0;
}

int MemoryRemove(const char*)
{
    return -1;
}

void QuietError(const char*) {}

double PointAtof(const char* text)
{
    return QLocale::c().toDouble(QLatin1String(text).trimmed());
}

SAHooks MemoryHooks()
{
    SAHooks hooks;
    std::memset(&hooks, 0, sizeof hooks);
    hooks.FOpen = MemoryOpen;
    hooks.FRead = MemoryRead;
    hooks.FWrite = MemoryWrite;
    hooks.FSeek = MemorySeek;
    hooks.FTell = MemoryTell;
    hooks.FFlush = MemoryFlush;
    hooks.FClose = MemoryClose;
    hooks.Remove = MemoryRemove;
    hooks.Error = QuietError;
    hooks.Atof = PointAtof;
    return hooks;
}

} // namespace

struct TDbfTable::Handle
{
    DBFHandle dbf = nullptr;
    std::vector<FieldLayout> fields;
};

// ---- TDbfField ----

QByteArray TDbfField::AsBytes() const
{
    return m_table->ReadField(m_index);
}

QString TDbfField::AsString() const
{
    return CodePages::FromWindows1251(m_table->ReadField(m_index));
}

char TDbfField::Type() const
{
    return m_table->m_types.at(std::size_t(m_index));
}

bool TDbfField::IsText() const
{
    return TDbfTable::IsTextType(Type());
}

// ---- TDbfTable ----

TDbfTable::TDbfTable() = default;

TDbfTable::~TDbfTable()
{
    Close();
}

void TDbfTable::Open()
{
    if (Active())
        return;
    QFile file(m_tableName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString reason = file.exists() ? QStringLiteral("нет доступа к файлу")
                                             : QStringLiteral("файл не найден");
        throw EDatabaseError(
            QStringLiteral("Не удалось открыть файл «%1»: %2.").arg(FileText(m_tableName), reason));
    }
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EDatabaseError(QStringLiteral("Не удалось прочитать файл «%1»: %2.")
                                 .arg(FileText(m_tableName),
                                      SystemReason::InRussian(file.errorString())));
    OpenBytes(std::move(contents), m_tableName);
}

void TDbfTable::OpenBytes(QByteArray contents, const QString& name)
{
    Close();
    m_tableName = name;
    std::vector<FieldLayout> fields = CheckLayout(contents, name);
    m_contents = std::move(contents);

    SAHooks hooks = MemoryHooks();
    t_opening = &m_contents;
    DBFHandle dbf = DBFOpenLL("table.dbf", "rb", &hooks);
    t_opening = nullptr;
    if (dbf && (DBFGetFieldCount(dbf) != int(fields.size()) ||
                DBFGetRecordCount(dbf) != int(DoubleWord(m_contents, 4)))) {
        DBFClose(dbf);
        dbf = nullptr;
    }
    if (!dbf) {
        m_contents.clear();
        Damaged(name, QStringLiteral("заголовок не читается"));
    }
    m_handle = new Handle{dbf, std::move(fields)};
    m_types.clear();
    for (const FieldLayout& field : m_handle->fields)
        m_types.push_back(field.type);
    m_current = -1;
    m_eof = true;
    First();
}

void TDbfTable::Close()
{
    if (m_handle) {
        DBFClose(m_handle->dbf);
        delete m_handle;
        m_handle = nullptr;
    }
    m_contents.clear();
    m_types.clear();
    m_current = -1;
    m_eof = true;
}

void TDbfTable::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Файл «%1» не открыт.").arg(FileText(m_tableName)));
}

QStringList TDbfTable::FieldNames() const
{
    QStringList names;
    if (m_handle) {
        for (const FieldLayout& field : m_handle->fields)
            names << field.name;
    }
    return names;
}

int TDbfTable::FindField(const QString& name) const
{
    if (!m_handle)
        return -1;
    for (std::size_t i = 0; i < m_handle->fields.size(); ++i) {
        if (m_handle->fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

TDbfField TDbfTable::FieldByName(const QString& name) const
{
    CheckActive();
    const int index = FindField(name);
    if (index < 0)
        throw EDatabaseError(
            QStringLiteral("Поле «%1» не найдено в файле «%2».").arg(name, FileText(m_tableName)));
    return TDbfField(this, index);
}

bool TDbfTable::IsTextType(char type)
{
    return type == 'C' || type == 'N' || type == 'F';
}

QString TDbfTable::TypeName(char type)
{
    switch (type) {
    case 'C':
        return QStringLiteral("символьный");
    case 'N':
    case 'F':
        return QStringLiteral("числовой");
    case 'L':
        return QStringLiteral("логический");
    case 'D':
        return QStringLiteral("дата");
    case 'T':
    case '@':
        return QStringLiteral("дата и время");
    case 'M':
        return QStringLiteral("мемо");
    case 'B':
        return QStringLiteral("двоичный");
    case 'O':
        return QStringLiteral("двоичное число");
    case 'I':
    case '+':
        return QStringLiteral("двоичное целое");
    case 'Y':
        return QStringLiteral("денежный");
    case 'G':
        return QStringLiteral("OLE-объект");
    default:
        return QStringLiteral("служебный");
    }
}

int TDbfTable::RecordCount() const
{
    return m_handle ? DBFGetRecordCount(m_handle->dbf) : 0;
}

int TDbfTable::RecNo() const
{
    return m_current + 1;
}

void TDbfTable::MoveFrom(int record)
{
    const int count = RecordCount();
    for (int r = record; r < count; ++r) {
        if (!DBFIsRecordDeleted(m_handle->dbf, r)) {
            m_current = r;
            m_eof = false;
            return;
        }
    }
    m_eof = true;
}

void TDbfTable::First()
{
    CheckActive();
    m_current = -1;
    MoveFrom(0);
}

void TDbfTable::Next()
{
    CheckActive();
    if (!m_eof)
        MoveFrom(m_current + 1);
}

QByteArray TDbfTable::ReadField(int field) const
{
    CheckActive();
    if (m_current < 0 || field < 0 || field >= int(m_types.size()))
        return {};
    const char type = m_types[std::size_t(field)];
    // Other kinds store binary values or references elsewhere: their bytes are no text.
    if (!IsTextType(type))
        throw EDatabaseError(QStringLiteral("Поле %1 файла «%2» имеет тип %3 (%4) и не читается "
                                            "как текст.")
                                 .arg(m_handle->fields[std::size_t(field)].name,
                                      FileText(m_tableName), QString(QLatin1Char(type)),
                                      TypeName(type)));
    // A numeric field filled with blanks or asterisks is blank.
    if (type != 'C' && DBFIsAttributeNULL(m_handle->dbf, m_current, field))
        return {};
    const char* text = DBFReadStringAttribute(m_handle->dbf, m_current, field);
    if (!text)
        throw EDatabaseError(QStringLiteral("Не удалось прочитать запись %1 файла «%2».")
                                 .arg(m_current + 1)
                                 .arg(FileText(m_tableName)));
    return QByteArray(text);
}
