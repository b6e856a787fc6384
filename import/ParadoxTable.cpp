#include "import/ParadoxTable.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <QTime>

#include <cstdio>
#include <cstring>
#include <set>

extern "C" { // pxlib's header declares no C linkage of its own
#include <paradox.h>
}

#include "core/Exception.h"
#include "import/HeaderBytes.h"

namespace {

using HeaderBytes::DoubleWord;
using HeaderBytes::FileText;
using HeaderBytes::Word;

// The fixed part of a table header, and the part that tables of format 4.0 and later add.
constexpr qsizetype CommonHeaderSize = 0x58;
constexpr qsizetype DataHeaderEnd = 0x78;
constexpr qsizetype BlockHeaderSize = 6;
constexpr int MaxFieldNameLength = 25;
constexpr quint32 NoEncryptionMark = 0xFF00FF00;
// Days from the start of the Julian day count to the day before 1 January of year 1.
constexpr qint64 JulianDayOfDayZero = 1721425;

int SignedWord(const QByteArray& data, qsizetype at)
{
    return int(qint16(quint16(Word(data, at))));
}

[[noreturn]] void Damaged(const QString& name, const QString& reason)
{
    HeaderBytes::Damaged("Paradox", name, reason);
}

// The width a field kind must have; 0 for kinds whose width the header chooses.
int FixedWidth(int type)
{
    switch (type) {
    case pxfShort:
        return 2;
    case pxfDate:
    case pxfLong:
    case pxfTime:
    case pxfAutoInc:
        return 4;
    case pxfCurrency:
    case pxfNumber:
    case pxfTimestamp:
        return 8;
    case pxfLogical:
        return 1;
    case pxfBCD:
        return 17;
    default:
        return 0;
    }
}

bool KnownType(int type)
{
    switch (type) {
    case pxfAlpha:
    case pxfDate:
    case pxfShort:
    case pxfLong:
    case pxfCurrency:
    case pxfNumber:
    case pxfLogical:
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
    case pxfTime:
    case pxfTimestamp:
    case pxfAutoInc:
    case pxfBCD:
    case pxfBytes:
        return true;
    default:
        return false;
    }
}

bool BlobType(int type)
{
    return type == pxfMemoBLOb || type == pxfBLOb || type == pxfFmtMemoBLOb || type == pxfOLE ||
           type == pxfGraphic;
}

// The decoder of a table's code page; 0 means the code page of the program's users.
QStringDecoder CodePageDecoder(int codePage, const QString& name)
{
    const QStringDecoder::Flag stateless = QStringDecoder::Flag::Stateless;
    QByteArray codec;
    if (codePage == 0 || codePage == 1251)
        codec = "windows-1251";
    else if (codePage == 866)
        codec = "IBM866";
    else
        codec = "cp" + QByteArray::number(codePage);
    QStringDecoder decoder(codec.constData(), stateless);
    if (!decoder.isValid())
        Damaged(name, QStringLiteral("неизвестная кодовая страница %1").arg(codePage));
    return decoder;
}

// What the checks found: enough to read the records without trusting the file further.
struct Layout
{
    std::vector<TParadoxField> fields;
    int records = 0;
    int codePage = 0;
};

// Checks everything in the header that pxlib would take on trust, then walks the data
// block chain: every block inside the file and reached once, its records inside the
// block, and as many records as the header says.
Layout CheckLayout(const QByteArray& data, const QString& name)
{
    const qsizetype size = data.size();
    if (size < CommonHeaderSize)
        Damaged(name, QStringLiteral("файл короче заголовка"));
    const int fileType = static_cast<unsigned char>(data[0x04]);
    const int version = static_cast<unsigned char>(data[0x39]);
    if ((fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB) || version < 3 ||
        version > 12)
        Damaged(name, QStringLiteral("неизвестный тип файла"));

    const bool dataHeader = version >= 5;
    if (dataHeader && size < DataHeaderEnd)
        Damaged(name, QStringLiteral("файл короче заголовка"));
    quint32 encryption = DoubleWord(data, 0x25);
    if (dataHeader && encryption == NoEncryptionMark)
        encryption = DoubleWord(data, 0x5C);
    if (encryption != 0)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» защищена паролем: программа не читает защищенные "
                           "таблицы. Снимите пароль в прежней программе и повторите.")
                .arg(FileText(name)),
            EDatabaseError::Kind::Damaged);

    const int recordSize = int(Word(data, 0x00));
    const qsizetype headerSize = Word(data, 0x02);
    const int blockKb = static_cast<unsigned char>(data[0x05]);
    const quint32 records = DoubleWord(data, 0x06);
    const int fileBlocks = int(Word(data, 0x0C));
    const int firstBlock = int(Word(data, 0x0E));
    const int fieldCount = SignedWord(data, 0x21);
    if (headerSize > size)
        Damaged(name, QStringLiteral("длина заголовка (%1) больше файла").arg(headerSize));
    if (blockKb < 1 || blockKb > 32)
        Damaged(name, QStringLiteral("неверный размер блока (%1 КБ)").arg(blockKb));
    if (fieldCount < 1 || fieldCount > 255)
        Damaged(name, QStringLiteral("неверное число полей (%1)").arg(fieldCount));

    // Field descriptors, the table name and the field names, all inside the header.
    const qsizetype descriptors = dataHeader ? DataHeaderEnd : CommonHeaderSize;
    const qsizetype tableNameAt = descriptors + 2 * fieldCount + 4 + 4 * fieldCount;
    const qsizetype tableNameLength = version >= 12 ? 261 : 79;
    if (tableNameAt + tableNameLength > headerSize)
        Damaged(name, QStringLiteral("заголовок короче описаний полей"));
    if (qstrnlen(data.constData() + tableNameAt, size_t(tableNameLength)) >=
        size_t(tableNameLength))
        Damaged(name, QStringLiteral("имя таблицы не завершено"));

    Layout layout;
    layout.codePage = dataHeader ? int(Word(data, 0x6A)) : 0;
    QStringDecoder decoder = CodePageDecoder(layout.codePage, name);
    int width = 0;
    qsizetype at = tableNameAt + tableNameLength;
    std::set<QString> seen;
    for (int i = 0; i < fieldCount; ++i) {
        const int type = static_cast<unsigned char>(data[descriptors + 2 * i]);
        int fieldWidth = static_cast<unsigned char>(data[descriptors + 2 * i + 1]);
        const qsizetype length = qstrnlen(data.constData() + at, size_t(headerSize - at));
        if (at + length >= headerSize)
            Damaged(name, QStringLiteral("имя поля %1 выходит за заголовок").arg(i + 1));
        const QString fieldName = decoder.decode(QByteArrayView(data.constData() + at, length));
        at += length + 1;
        if (length == 0 || length > MaxFieldNameLength)
            Damaged(name,
                    QStringLiteral("неверная длина имени поля %1 (%2)").arg(i + 1).arg(length));
        if (!seen.insert(fieldName.toLower()).second)
            Damaged(name, QStringLiteral("поле «%1» описано дважды").arg(fieldName));
        if (!KnownType(type))
            Damaged(name,
                    QStringLiteral("поле «%1» неизвестного типа (%2)").arg(fieldName).arg(type));
        const int fixed = FixedWidth(type);
        if (type == pxfBCD && fieldWidth > 32)
            Damaged(name, QStringLiteral("поле «%1»: неверное число знаков (%2)")
                              .arg(fieldName)
                              .arg(fieldWidth));
        if (type == pxfBCD)
            fieldWidth = fixed;
        else if (fixed != 0 && fieldWidth != fixed)
            Damaged(
                name,
                QStringLiteral("поле «%1» неверной ширины (%2)").arg(fieldName).arg(fieldWidth));
        else if (fieldWidth == 0 || (BlobType(type) && (fieldWidth < 10 || fieldWidth > 250)))
            Damaged(
                name,
                QStringLiteral("поле «%1» неверной ширины (%2)").arg(fieldName).arg(fieldWidth));
        layout.fields.push_back({fieldName, type, fieldWidth, width});
        width += fieldWidth;
    }
    if (width != recordSize)
        Damaged(name, QStringLiteral("длина записи (%1) не равна сумме ширин полей (%2)")
                          .arg(recordSize)
                          .arg(width));
    const qsizetype blockSize = qsizetype(blockKb) * 0x400;
    if (recordSize > blockSize - BlockHeaderSize)
        Damaged(name, QStringLiteral("запись (%1 байт) не помещается в блок").arg(recordSize));
    const qint64 blocksInFile = (size - headerSize + blockSize - 1) / blockSize;
    if (fileBlocks > blocksInFile)
        Damaged(name, QStringLiteral("в заголовке больше блоков (%1), чем в файле (%2)")
                          .arg(fileBlocks)
                          .arg(blocksInFile));

    // The data block chain, from the first block; a block reached twice is a loop.
    std::vector<bool> reached(std::size_t(fileBlocks) + 1, false);
    qint64 chained = 0;
    // pxlib follows the chain from the first block even when the header counts no blocks.
    int block = firstBlock;
    while (block != 0) {
        if (block > fileBlocks)
            Damaged(name, QStringLiteral("ссылка на блок %1 за пределами файла").arg(block));
        if (reached[std::size_t(block)])
            Damaged(name, QStringLiteral("цепочка блоков замкнута в кольцо (блок %1)").arg(block));
        reached[std::size_t(block)] = true;
        const qsizetype blockAt = headerSize + qsizetype(block - 1) * blockSize;
        if (blockAt + BlockHeaderSize > size)
            Damaged(name, QStringLiteral("блок %1 за концом файла").arg(block));
        const int lastRecordAt = SignedWord(data, blockAt + 4);
        if (lastRecordAt < -recordSize || lastRecordAt % recordSize != 0 ||
            lastRecordAt > blockSize - BlockHeaderSize - recordSize)
            Damaged(name, QStringLiteral("неверное заполнение блока %1").arg(block));
        const int inBlock = lastRecordAt / recordSize + 1;
        if (blockAt + BlockHeaderSize + qint64(inBlock) * recordSize > size)
            Damaged(name, QStringLiteral("записи блока %1 за концом файла").arg(block));
        chained += inBlock;
        block = int(Word(data, blockAt));
    }
    if (chained != qint64(records))
        Damaged(name, QStringLiteral("число записей в заголовке (%1) не совпадает с числом записей "
                                     "в блоках (%2)")
                          .arg(records)
                          .arg(chained));
    layout.records = int(records);
    return layout;
}

// pxlib's messages are gathered here and become part of the error; none reaches stderr.
void GatherError(pxdoc_t*, int level, const char* message, void* data)
{
    if (level == PX_Warning)
        return;
    auto* messages = static_cast<QStringList*>(data);
    if (messages && message)
        messages->append(QString::fromLocal8Bit(message).trimmed());
}

// A read-only stream over the checked bytes, so pxlib reads exactly what was checked.
std::FILE* MemoryStream(const QByteArray& contents)
{
#ifdef _WIN32
    std::FILE* file = std::tmpfile();
    if (file && (std::fwrite(contents.constData(), 1, size_t(contents.size()), file) !=
                     size_t(contents.size()) ||
                 std::fseek(file, 0, SEEK_SET) != 0)) {
        std::fclose(file);
        file = nullptr;
    }
    return file;
#else
    return fmemopen(const_cast<char*>(contents.constData()), size_t(contents.size()), "rb");
#endif
}

} // namespace

struct TParadoxTable::Handle
{
    QStringList messages;
    pxdoc_t* doc = nullptr;
    std::FILE* stream = nullptr;
    QStringDecoder decoder;

    ~Handle()
    {
        if (doc)
            PX_delete(doc);
        if (stream)
            std::fclose(stream);
    }
};

TParadoxTable::TParadoxTable() = default;

TParadoxTable::~TParadoxTable()
{
    Close();
}

bool TParadoxTable::Carried(int type)
{
    switch (type) {
    case pxfAlpha:
    case pxfLogical:
    case pxfShort:
    case pxfLong:
    case pxfAutoInc:
    case pxfNumber:
    case pxfCurrency:
    case pxfDate:
    case pxfTime:
    case pxfTimestamp:
        return true;
    default:
        return false;
    }
}

void TParadoxTable::Open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString reason = file.exists() ? QStringLiteral("нет доступа к файлу")
                                             : QStringLiteral("файл не найден");
        throw EDatabaseError(
            QStringLiteral("Не удалось открыть файл «%1»: %2.").arg(FileText(path), reason));
    }
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EDatabaseError(QStringLiteral("Не удалось прочитать файл «%1».").arg(FileText(path)));
    OpenBytes(std::move(contents), path);
}

void TParadoxTable::OpenBytes(QByteArray contents, const QString& name)
{
    Close();
    m_name = name;
    Layout layout = CheckLayout(contents, name);
    auto handle = std::make_unique<Handle>();
    handle->decoder = CodePageDecoder(layout.codePage, name);
    m_contents = std::move(contents);

    const auto failed = [&](const QString& what) {
        QString reason = what;
        if (!handle->messages.isEmpty())
            reason += QStringLiteral(" (%1)").arg(handle->messages.join(QStringLiteral("; ")));
        handle.reset();
        m_contents.clear();
        Damaged(name, reason);
    };
    handle->doc = PX_new3(GatherError, nullptr, nullptr, nullptr, &handle->messages);
    if (!handle->doc)
        failed(QStringLiteral("нет памяти для чтения"));
    handle->stream = MemoryStream(m_contents);
    if (!handle->stream)
        failed(QStringLiteral("нет памяти для чтения"));
    if (PX_open_fp(handle->doc, handle->stream) < 0) {
        // pxlib frees its block index when it cannot build it but keeps the pointer, which
        // PX_delete would free a second time.
        handle->doc->px_indexdata = nullptr;
        failed(QStringLiteral("заголовок не читается"));
    }
    if (PX_get_num_fields(handle->doc) != int(layout.fields.size()) ||
        PX_get_num_records(handle->doc) != layout.records ||
        PX_get_recordsize(handle->doc) != int(Word(m_contents, 0)))
        failed(QStringLiteral("заголовок прочитан иначе, чем проверен"));

    m_fields = std::move(layout.fields);
    m_recordCount = layout.records;
    m_codePage = layout.codePage;
    m_record = QByteArray(PX_get_recordsize(handle->doc), '\0');
    m_handle = handle.release();
}

void TParadoxTable::Close()
{
    delete m_handle;
    m_handle = nullptr;
    m_contents.clear();
    m_fields.clear();
    m_record.clear();
    m_recordCount = 0;
    m_codePage = 0;
}

QStringList TParadoxTable::FieldNames() const
{
    QStringList names;
    for (const TParadoxField& field : m_fields)
        names << field.Name;
    return names;
}

int TParadoxTable::FindField(const QString& name) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].Name == name)
            return int(i);
    }
    return -1;
}

void TParadoxTable::Read(int record)
{
    if (!m_handle)
        throw EDatabaseError(QStringLiteral("Файл «%1» не открыт.").arg(FileText(m_name)));
    if (record < 0 || record >= m_recordCount ||
        !PX_get_record(m_handle->doc, record, m_record.data())) {
        const QString detail =
            m_handle->messages.isEmpty()
                ? QString()
                : QStringLiteral(" (%1)").arg(m_handle->messages.join(QStringLiteral("; ")));
        m_handle->messages.clear();
        throw EDatabaseError(QStringLiteral("Не удалось прочитать запись %1 файла «%2»%3.")
                                 .arg(record + 1)
                                 .arg(FileText(m_name), detail));
    }
}

QVariant TParadoxTable::Value(int field) const
{
    if (!m_handle || field < 0 || field >= int(m_fields.size()))
        return {};
    const TParadoxField& def = m_fields[std::size_t(field)];
    char* at = const_cast<char*>(m_record.constData()) + def.Offset;
    pxdoc_t* doc = m_handle->doc;
    switch (def.Type) {
    case pxfAlpha: {
        qsizetype length = qstrnlen(at, size_t(def.Width));
        while (length > 0 && at[length - 1] == ' ')
            --length;
        if (length == 0)
            return {};
        return QString(m_handle->decoder.decode(QByteArrayView(at, length)));
    }
    case pxfLogical: {
        char value = 0;
        return QVariant(PX_get_data_byte(doc, at, def.Width, &value) > 0 && value != 0);
    }
    case pxfShort: {
        short value = 0;
        if (PX_get_data_short(doc, at, def.Width, &value) <= 0)
            return {};
        return QVariant(qint64(value));
    }
    case pxfLong:
    case pxfAutoInc: {
        long value = 0;
        if (PX_get_data_long(doc, at, def.Width, &value) <= 0)
            return {};
        return QVariant(qint64(value));
    }
    case pxfNumber:
    case pxfCurrency: {
        double value = 0;
        if (PX_get_data_double(doc, at, def.Width, &value) <= 0)
            return {};
        return QVariant(value);
    }
    case pxfDate: {
        long days = 0;
        if (PX_get_data_long(doc, at, def.Width, &days) <= 0)
            return {};
        const QDate date = QDate::fromJulianDay(JulianDayOfDayZero + days);
        return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
    }
    case pxfTime: {
        long ms = 0;
        if (PX_get_data_long(doc, at, def.Width, &ms) <= 0 || ms < 0 || ms >= 86400000)
            return {};
        return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(Qt::ISODate);
    }
    case pxfTimestamp: {
        double ms = 0;
        if (PX_get_data_double(doc, at, def.Width, &ms) <= 0 || !(ms >= 0 && ms < 1e15))
            return {};
        const qint64 whole = qint64(ms);
        const QDate date = QDate::fromJulianDay(JulianDayOfDayZero + whole / 86400000);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(whole % 86400000));
        return date.isValid() ? QVariant(date.toString(Qt::ISODate) + QLatin1Char(' ') +
                                         time.toString(Qt::ISODate))
                              : QVariant();
    }
    default:
        return {};
    }
}

QString TParadoxTable::Text(int field) const
{
    const QVariant value = Value(field);
    if (!value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double: {
        const bool currency = m_fields[std::size_t(field)].Type == pxfCurrency;
        return currency ? QLocale::c().toString(value.toDouble(), 'f', 2)
                        : QLocale::c().toString(value.toDouble(), 'g', 15);
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}
