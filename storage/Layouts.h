#pragma once

#include <QString>

#include "storage/FieldDefs.h"

// The current layouts of the employee table "base" and the organisation table "config".
namespace Layouts {

inline constexpr const char* EmployeeTableName = "base.DB";
inline constexpr const char* OrganizationTableName = "config.db";
inline constexpr const char* EmployeeIndex = "Fio_Accnt";

// Field names, as the rest of the program reaches fields.
inline const QString FioField = QStringLiteral("Fio100");
inline const QString AccntField = QStringLiteral("Accnt");
inline const QString AmountField = QStringLiteral("Amount");
inline const QString ExportField = QStringLiteral("Export");
inline const QString OrgField = QStringLiteral("Org120");
inline const QString OrgNameField = QStringLiteral("Organization120");

TFieldDefs EmployeeFields();
TIndexDefs EmployeeIndexes();
TFieldDefs OrganizationFields();
TIndexDefs OrganizationIndexes();

} // namespace Layouts
