#include "storage/layouts/Layouts.h"

namespace Layouts {

TFieldDefs EmployeeFields()
{
    return {
        {QStringLiteral("Id"), TFieldType::AutoInc, 0, true},
        {QStringLiteral("Fio100"), TFieldType::String, 100, false},
        {QStringLiteral("Accnt"), TFieldType::String, 22, false},
        {QStringLiteral("Amount"), TFieldType::String, 15, false},
        {QStringLiteral("Export"), TFieldType::Boolean, 0, false},
        {QStringLiteral("Org120"), TFieldType::String, 120, false},
    };
}

TIndexDefs EmployeeIndexes()
{
    return {
        {QStringLiteral("id"), QStringLiteral("Id"), ixPrimary},
        {QStringLiteral("Fio_Accnt"), QStringLiteral("Fio100;Accnt"), ixUnique | ixCaseInsensitive},
        {QStringLiteral("Amount"), QStringLiteral("Amount"), ixCaseInsensitive},
    };
}

TFieldDefs OrganizationFields()
{
    return {
        {QStringLiteral("Organization120"), TFieldType::String, 120, true},
        {QStringLiteral("Accnt"), TFieldType::String, 22, true},
        {QStringLiteral("Position"), TFieldType::String, 30, true},
        {QStringLiteral("Director"), TFieldType::String, 30, true},
        {QStringLiteral("Accountant"), TFieldType::String, 30, true},
        {QStringLiteral("Contract"), TFieldType::String, 8, true},
        {QStringLiteral("Crnc"), TFieldType::String, 3, true},
    };
}

TIndexDefs OrganizationIndexes()
{
    return {
        {QStringLiteral("Organization120"), QStringLiteral("Organization120"), ixPrimary},
    };
}

TFieldDefs RegisterFields()
{
    return {
        {QStringLiteral("Id"), TFieldType::AutoInc, 0, true},
        {QStringLiteral("Made"), TFieldType::String, 19, true},
        {QStringLiteral("Org120"), TFieldType::String, 120, false},
        {QStringLiteral("Kind"), TFieldType::String, 10, true},
        {QStringLiteral("FileName"), TFieldType::String, 255, true},
        {QStringLiteral("Employees"), TFieldType::Integer, 0, true},
        {QStringLiteral("Total"), TFieldType::String, 20, true},
        {QStringLiteral("Sha256"), TFieldType::String, 64, true},
        {QStringLiteral("UserName"), TFieldType::String, 64, false},
        {QStringLiteral("Host"), TFieldType::String, 64, false},
        {QStringLiteral("Content"), TFieldType::Blob, 0, true},
    };
}

TIndexDefs RegisterIndexes()
{
    return {
        {QStringLiteral("registers_id"), QStringLiteral("Id"), ixPrimary},
    };
}

int FieldSize(const TFieldDefs& fields, const QString& name)
{
    for (const TFieldDef& field : fields) {
        if (field.Name == name)
            return field.Size;
    }
    return 0;
}

} // namespace Layouts
