#include "storage/engine/sqlite/Collation.h"

#include <sqlite3.h>

// Apart from Collation.cpp, which the extension links too: there SQLite's functions come
// from the tool that loads it, not from the library.
namespace Collation {

int Register(sqlite3* db)
{
    return sqlite3_create_collation(db, RuNoCaseName, SQLITE_UTF8, nullptr, &SqliteCompare);
}

} // namespace Collation
