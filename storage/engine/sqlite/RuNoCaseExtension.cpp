// RU_NOCASE as a loadable SQLite extension, so that other SQLite tools can write the
// store's indexed tables: `.load /usr/lib/pellomar/ru_nocase` in the sqlite3 shell.
// The comparison is the program's own (Collation.cpp).
#include <sqlite3ext.h>

#include "storage/engine/sqlite/Collation.h"

SQLITE_EXTENSION_INIT1

#if defined(_WIN32)
#define PELLOMAR_EXTENSION_EXPORT __declspec(dllexport)
#else
#define PELLOMAR_EXTENSION_EXPORT __attribute__((visibility("default")))
#endif

// SQLite looks for sqlite3_<letters of the file's name>_init: ru_nocase.so gives this one.
extern "C" PELLOMAR_EXTENSION_EXPORT int sqlite3_runocase_init(sqlite3* db, char**,
                                                               const sqlite3_api_routines* api)
{
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_collation(db, Collation::RuNoCaseName, SQLITE_UTF8, nullptr,
                                    &Collation::SqliteCompare);
}
