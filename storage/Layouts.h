#pragma once

#include "storage/FieldDefs.h"

// The current layouts of the employee table "base" and the organisation table "config".
namespace Layouts {

inline constexpr const char* EmployeeTableName = "base.DB";
inline constexpr const char* OrganizationTableName = "config.db";
inline constexpr const char* EmployeeIndex = "Fio_Accnt";

TFieldDefs EmployeeFields();
TIndexDefs EmployeeIndexes();
TFieldDefs OrganizationFields();
TIndexDefs OrganizationIndexes();

} // namespace Layouts
