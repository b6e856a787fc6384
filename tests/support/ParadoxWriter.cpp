#include "tests/support/ParadoxWriter.h"

#include <QStringEncoder>

#include <cstdlib>
#include <cstring>

extern "C" { // pxlib's header declares no C linkage of its own
#include <paradox.h>
}

namespace {

pxdoc_t* Doc(void* doc)
{
    return static_cast<pxdoc_t*>(doc);
}

} // namespace

std::vector<ParadoxWriter::Field> ParadoxWriter::EmployeeFields()
{
    return {{"Id", pxfAutoInc, 4},    {"Fio100", pxfAlpha, 100}, {"Accnt", pxfAlpha, 22},
            {"Amount", pxfAlpha, 15}, {"Export", pxfLogical, 1}, {"Org120", pxfAlpha, 120}};
}

std::vector<ParadoxWriter::Field> ParadoxWriter::OlderEmployeeFields()
{
    return {{"Fio", pxfAlpha, 60},
            {"Accnt", pxfAlpha, 22},
            {"Amount", pxfAlpha, 15},
            {"Export", pxfLogical, 1},
            {"Org", pxfAlpha, 40}};
}

std::vector<ParadoxWriter::Field> ParadoxWriter::OrganizationFields()
{
    return {{"Organization120", pxfAlpha, 120},
            {"Accnt", pxfAlpha, 22},
            {"Position", pxfAlpha, 30},
            {"Director", pxfAlpha, 30},
            {"Accountant", pxfAlpha, 30},
            {"Contract", pxfAlpha, 8},
            {"Crnc", pxfAlpha, 3}};
}

std::vector<ParadoxWriter::Field> ParadoxWriter::OlderOrganizationFields()
{
    std::vector<Field> fields = OrganizationFields();
    fields.front() = {"Organization", pxfAlpha, 60};
    return fields;
}

ParadoxWriter::ParadoxWriter(const QString& path, const std::vector<Field>& fields, int codePage)
    : m_fields(fields), m_codec(codePage == 866 ? "IBM866" : "windows-1251")
{
    pxdoc_t* doc = PX_new();
    // pxlib keeps the descriptors and frees their names with the document.
    auto* defs = static_cast<pxfield_t*>(std::calloc(fields.size(), sizeof(pxfield_t)));
    int size = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        defs[i].px_fname = strdup(fields[i].name.constData());
        defs[i].px_ftype = fields[i].type;
        defs[i].px_flen = fields[i].width;
        size += fields[i].width;
    }
    if (PX_create_file(doc, defs, int(fields.size()), path.toLocal8Bit().constData(),
                       pxfFileTypNonIndexDB) < 0)
        qFatal("cannot create %s", qPrintable(path));
    doc->px_head->px_doscodepage = codePage;
    PX_set_parameter(doc, "tablename", "table"); // writes the header again, code page included
    m_doc = doc;
    m_record = QByteArray(size, '\0');
}

ParadoxWriter::~ParadoxWriter()
{
    Close();
}

void ParadoxWriter::Add(const std::vector<QVariant>& values)
{
    pxdoc_t* doc = Doc(m_doc);
    m_record.fill('\0');
    char* at = m_record.data();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const Field& field = m_fields[i];
        const QVariant value = i < values.size() ? values[i] : QVariant();
        if (value.isValid()) {
            switch (field.type) {
            case pxfAlpha: {
                QStringEncoder encoder(m_codec.constData());
                QByteArray bytes = encoder.encode(value.toString());
                PX_put_data_alpha(doc, at, field.width, bytes.data());
                break;
            }
            case pxfLogical:
                PX_put_data_byte(doc, at, field.width, value.toBool() ? 1 : 0);
                break;
            case pxfShort:
                PX_put_data_short(doc, at, field.width, short(value.toInt()));
                break;
            case pxfNumber:
            case pxfCurrency:
                PX_put_data_double(doc, at, field.width, value.toDouble());
                break;
            default:
                PX_put_data_long(doc, at, field.width, value.toInt());
                break;
            }
        }
        at += field.width;
    }
    PX_put_record(doc, m_record.data());
}

void ParadoxWriter::Close()
{
    if (!m_doc)
        return;
    // The file that PX_create_file opened is closed with the document.
    pxdoc_t* doc = Doc(m_doc);
    doc->px_stream->close = px_true;
    PX_delete(doc);
    m_doc = nullptr;
}
