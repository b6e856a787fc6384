#pragma once

#include <QString>

#include "storage/engine/FieldDefs.h"

// The layouts of the employee table "base", the organisation table "config" and the journal
// of written registers "registers".
namespace Layouts {

inline constexpr const char* EmployeeTableName = "base.DB";
inline constexpr const char* OrganizationTableName = "config.db";
inline constexpr const char* EmployeeIndex = "Fio_Accnt";
inline constexpr const char* RegisterTableName = "registers";
// Every table of a store, as its copies carry them.
inline constexpr const char* StoreTables[] = {EmployeeTableName, OrganizationTableName,
                                              RegisterTableName};

// Field names, as the rest of the program reaches fields.
inline const QString FioField = QStringLiteral("Fio100");
inline const QString AccntField = QStringLiteral("Accnt");
inline const QString AmountField = QStringLiteral("Amount");
inline const QString ExportField = QStringLiteral("Export");
inline const QString OrgField = QStringLiteral("Org120");
inline const QString OrgNameField = QStringLiteral("Organization120");

// Older layouts: fields that earlier versions kept under bare names, recognised by those
// names alone (letter case counts), and the current fields that take their place.
struct TOlderField
{
    QString Older;
    QString Current;
};
inline const TOlderField OlderFioField{QStringLiteral("Fio"), FioField};
inline const TOlderField OlderOrgField{QStringLiteral("Org"), OrgField};
inline const TOlderField OlderOrgNameField{QStringLiteral("Organization"), OrgNameField};

TFieldDefs EmployeeFields();
TIndexDefs EmployeeIndexes();
TFieldDefs OrganizationFields();
TIndexDefs OrganizationIndexes();
TFieldDefs RegisterFields();
TIndexDefs RegisterIndexes();

// The size of a text field of a layout; 0 for a field that is not there or has no size.
int FieldSize(const TFieldDefs& fields, const QString& name);

} // namespace Layouts
