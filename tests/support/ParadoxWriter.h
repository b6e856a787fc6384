#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <vector>

// Writes Paradox tables with pxlib's own writing functions: the fixtures of the take-over's
// tests, benchmark and fuzzing seeds.
class ParadoxWriter
{
public:
    struct Field
    {
        QByteArray name;
        char type =
            0x01; // the format's type code: 0x01 alpha, 0x09 logical, 0x16 auto-increment...
        int width = 0;
    };

    // The employee table as the old program wrote it, and its older layout (Fio, Org).
    static std::vector<Field> EmployeeFields();
    static std::vector<Field> OlderEmployeeFields();
    // The organisation table, and its older layout (Organization).
    static std::vector<Field> OrganizationFields();
    static std::vector<Field> OlderOrganizationFields();

    // codePage goes into the header; texts are stored in it.
    ParadoxWriter(const QString& path, const std::vector<Field>& fields, int codePage = 1251);
    ~ParadoxWriter();
    ParadoxWriter(const ParadoxWriter&) = delete;
    ParadoxWriter& operator=(const ParadoxWriter&) = delete;

    // One record, field by field: QString for alpha, bool, integers; invalid for blank.
    void Add(const std::vector<QVariant>& values);
    void Close();

private:
    void* m_doc = nullptr;
    std::vector<Field> m_fields;
    QByteArray m_codec;
    QByteArray m_record;
};
