#include "export/word/DocxPackage.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <pugixml.hpp>
#include <zip.h>

#include <memory>

#include "core/SystemReason.h"
#include "export/word/WordError.h"

namespace {

// A part larger than this is not a statement template but a damaged or hostile archive.
constexpr zip_uint64_t MaxPartSize = 256u * 1024u * 1024u;

QString ZipMessage(zip_error_t* error)
{
    if (zip_error_system_type(error) == ZIP_ET_SYS)
        return SystemReason::FromErrno(zip_error_code_system(error));
    if (zip_error_code_zip(error) == ZIP_ER_INCONS)
        return QStringLiteral("архив поврежден");
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

// The signature of the compound files of Word 97-2003.
bool IsOldWordFile(const QByteArray& bytes)
{
    return bytes.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1"));
}

struct ZipCloser
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

struct SourceFreer
{
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using SourceHandle = std::unique_ptr<zip_source_t, SourceFreer>;

} // namespace

DocxPackage DocxPackage::Open(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.exists())
        throw EWordError(QStringLiteral("Файл не найден: %1").arg(shown));
    if (!file.open(QIODevice::ReadOnly))
        throw EWordError(QStringLiteral("Не удается открыть файл %1: %2")
                             .arg(shown, SystemReason::InRussian(file.errorString())));
    return FromBytes(file.readAll(), shown);
}

DocxPackage DocxPackage::FromBytes(const QByteArray& bytes, const QString& what)
{
    const auto notPackage = [&what](const QString& reason) {
        return EWordError(
            QStringLiteral("Файл %1 не является документом Word: %2").arg(what, reason));
    };

    zip_error_t error;
    zip_error_init(&error);
    SourceHandle source(zip_source_buffer_create(bytes.constData(), bytes.size(), 0, &error));
    if (!source) {
        const QString message = ZipMessage(&error);
        zip_error_fini(&error);
        throw notPackage(message);
    }
    ZipHandle archive(zip_open_from_source(source.get(), ZIP_RDONLY, &error));
    if (!archive && zip_error_code_zip(&error) == ZIP_ER_NOZIP) {
        zip_error_fini(&error);
        throw EWordError(
            QStringLiteral("Файл %1 не является документом Word 2007–365 (.docx)%2. Сохраните "
                           "его в Word как «Документ Word (*.docx)» под прежним именем.")
                .arg(what, IsOldWordFile(bytes)
                               ? QStringLiteral(": он сохранен в старом формате Word 97–2003")
                               : QString()));
    }
    if (!archive) {
        const QString message = ZipMessage(&error);
        zip_error_fini(&error);
        throw notPackage(message);
    }
    source.release(); // the archive owns it now
    zip_error_fini(&error);

    DocxPackage package;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    package.m_parts.reserve(static_cast<size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), i, ZIP_FL_ENC_RAW, &stat) != 0)
            throw notPackage(QString::fromLocal8Bit(zip_strerror(archive.get())));
        if (stat.size > MaxPartSize)
            throw notPackage(QStringLiteral("слишком большая часть %1")
                                 .arg(QString::fromUtf8(stat.name)));
        Entry entry;
        entry.name = QByteArray(stat.name);
        entry.data.resize(static_cast<qsizetype>(stat.size));
        if (stat.size > 0) {
            std::unique_ptr<zip_file_t, ZipFileCloser> part(zip_fopen_index(archive.get(), i, 0));
            if (!part)
                throw notPackage(QString::fromLocal8Bit(zip_strerror(archive.get())));
            const zip_int64_t read = zip_fread(part.get(), entry.data.data(), stat.size);
            if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
                throw notPackage(QStringLiteral("часть %1 повреждена").arg(entry.name));
        }
        package.m_parts.push_back(std::move(entry));
    }
    return package;
}

QStringList DocxPackage::PartNames() const
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(m_parts.size()));
    for (const Entry& entry : m_parts)
        names.append(QString::fromUtf8(entry.name));
    return names;
}

const DocxPackage::Entry* DocxPackage::Find(const QString& name) const
{
    const QByteArray key = name.toUtf8();
    for (const Entry& entry : m_parts)
        if (entry.name == key)
            return &entry;
    return nullptr;
}

bool DocxPackage::HasPart(const QString& name) const
{
    return Find(name) != nullptr;
}

QByteArray DocxPackage::Part(const QString& name) const
{
    if (const Entry* entry = Find(name))
        return entry->data;
    throw EWordError(QStringLiteral("В документе нет части %1").arg(name));
}

void DocxPackage::SetPart(const QString& name, const QByteArray& data)
{
    const QByteArray key = name.toUtf8();
    for (Entry& entry : m_parts) {
        if (entry.name == key) {
            entry.data = data;
            return;
        }
    }
    m_parts.push_back(Entry{key, data});
}

QString DocxPackage::MainDocumentPart() const
{
    const QString fallback = QStringLiteral("word/document.xml");
    const Entry* rels = Find(QStringLiteral("_rels/.rels"));
    if (!rels)
        return fallback;
    pugi::xml_document xml;
    if (!xml.load_buffer(rels->data.constData(), static_cast<size_t>(rels->data.size())))
        return fallback;
    for (pugi::xml_node rel : xml.document_element().children()) {
        const QString type = QString::fromUtf8(rel.attribute("Type").value());
        if (!type.endsWith(QLatin1String("/officeDocument")))
            continue;
        QString target = QString::fromUtf8(rel.attribute("Target").value());
        while (target.startsWith(QLatin1Char('/')))
            target.remove(0, 1);
        return target.isEmpty() ? fallback : target;
    }
    return fallback;
}

QByteArray DocxPackage::ToBytes() const
{
    const auto failed = [](const QString& reason) {
        return EWordError(QStringLiteral("Не удается собрать документ: %1").arg(reason));
    };

    zip_error_t error;
    zip_error_init(&error);
    SourceHandle target(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!target) {
        const QString message = ZipMessage(&error);
        zip_error_fini(&error);
        throw failed(message);
    }
    // One reference for the archive, one for reading the bytes back after it is closed.
    zip_source_keep(target.get());
    zip_t* archive = zip_open_from_source(target.get(), ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(target.get()); // the archive did not take its reference
        const QString message = ZipMessage(&error);
        zip_error_fini(&error);
        throw failed(message);
    }
    zip_error_fini(&error);

    for (const Entry& entry : m_parts) {
        zip_int64_t index = -1;
        if (entry.name.endsWith('/')) {
            index = zip_dir_add(archive, entry.name.constData(), ZIP_FL_ENC_GUESS);
        } else {
            zip_source_t* data = zip_source_buffer(archive, entry.data.constData(),
                                                   static_cast<zip_uint64_t>(entry.data.size()), 0);
            if (data) {
                index = zip_file_add(archive, entry.name.constData(), data, ZIP_FL_ENC_GUESS);
                if (index < 0)
                    zip_source_free(data);
            }
        }
        if (index < 0) {
            const QString message = QString::fromLocal8Bit(zip_strerror(archive));
            zip_discard(archive);
            throw failed(message);
        }
    }
    if (zip_close(archive) != 0) {
        const QString message = QString::fromLocal8Bit(zip_strerror(archive));
        zip_discard(archive);
        throw failed(message);
    }

    zip_stat_t stat;
    zip_stat_init(&stat);
    QByteArray bytes;
    if (zip_source_stat(target.get(), &stat) != 0 || zip_source_open(target.get()) != 0)
        throw failed(QStringLiteral("буфер недоступен"));
    bytes.resize(static_cast<qsizetype>(stat.size));
    const zip_int64_t read = zip_source_read(target.get(), bytes.data(), stat.size);
    zip_source_close(target.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
        throw failed(QStringLiteral("буфер прочитан не полностью"));
    return bytes;
}

QByteArray DocxPackage::SaveAs(const QString& path) const
{
    const QString shown = QDir::toNativeSeparators(path);
    const QByteArray bytes = ToBytes();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EWordError(QStringLiteral("Не удается создать файл %1: %2")
                             .arg(shown, SystemReason::InRussian(file.errorString())));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EWordError(QStringLiteral("Не удается записать файл %1: %2")
                             .arg(shown, SystemReason::InRussian(file.errorString())));
    return bytes;
}
