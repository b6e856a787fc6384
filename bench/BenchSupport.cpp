#include "bench/BenchSupport.h"

#include <malloc.h>

#include "storage/Layouts.h"
#include "storage/TSession.h"
#include "storage/TTable.h"

std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void CreateEmployeeTable(const QString& folder)
{
    TTable table;
    table.SetDatabaseName(folder);
    table.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    table.FieldDefs() = Layouts::EmployeeFields();
    table.IndexDefs() = Layouts::EmployeeIndexes();
    table.CreateTable();
    Session().CloseAll();
}
