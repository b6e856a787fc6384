#pragma once

#include <QString>

#include <vector>

enum class TFieldType { String, Boolean, Integer, AutoInc, Blob };

// One field of a table layout: a text of Size characters, a boolean, an integer or bytes.
struct TFieldDef
{
    QString Name;
    TFieldType DataType = TFieldType::String;
    int Size = 0; // characters, for text; 0 means unlimited
    bool Required = false;
};

enum TIndexOption : unsigned {
    ixPrimary = 1u << 0,
    ixUnique = 1u << 1,
    ixCaseInsensitive = 1u << 2,
};

// One index of a table layout; Fields are field names joined by ";".
struct TIndexDef
{
    QString Name;
    QString Fields;
    unsigned Options = 0;
};

using TFieldDefs = std::vector<TFieldDef>;
using TIndexDefs = std::vector<TIndexDef>;
