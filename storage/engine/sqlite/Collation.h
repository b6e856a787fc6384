#pragma once

#include <QStringView>

struct sqlite3;

// The case-insensitive order of the store: code points compared after Unicode simple
// case folding (Cyrillic included), with ё placed after е and before ж. The SQLite
// collation and the in-memory order of a view use the same comparison, so both sort
// rows alike.
namespace Collation {

inline constexpr const char* RuNoCaseName = "RU_NOCASE";
// Raised whenever the order of RU_NOCASE changes; stores indexed under an older one are
// re-indexed when first opened.
inline constexpr int Version = 1;

int CompareNoCase(QStringView a, QStringView b);
int CompareBinary(QStringView a, QStringView b);
int CompareNoCaseUtf8(const char* a, int na, const char* b, int nb);
// CompareNoCaseUtf8 in the form SQLite calls a UTF-8 collation: the program registers it,
// and so does the loadable extension that gives other SQLite tools the same order.
int SqliteCompare(void* unused, int na, const void* a, int nb, const void* b);

// Registers RU_NOCASE on a connection; returns SQLite's result code.
int Register(sqlite3* db);

} // namespace Collation
