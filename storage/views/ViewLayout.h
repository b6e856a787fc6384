#pragma once

#include <QString>

#include <vector>

#include "storage/engine/FieldDefs.h"

// A table's layout as an open view uses it: its names in the store, its fields and indexes
// by position, and the key that names a row on write.
struct ViewLayout
{
    struct FieldInfo
    {
        TFieldDef def;
        bool rowidAlias = false;
    };
    struct IndexInfo
    {
        QString name;
        std::vector<int> fields;
        std::vector<bool> noCase;
        bool unique = false;
        bool primary = false;
    };

    QString storedName; // the table's name in the store
    QString rowid;      // the column that names a row in the store
    std::vector<FieldInfo> fields;
    std::vector<IndexInfo> indexes;
    unsigned long long keyMask = 0; // primary key fields other than the rowid

    int FieldCount() const { return int(fields.size()); }
};

// Fields other than text bind, compare and sort as numbers.
inline bool IsNumeric(TFieldType type)
{
    return type != TFieldType::String;
}
