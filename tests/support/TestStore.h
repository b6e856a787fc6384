#pragma once

#include <QString>

// The store the tests of a run use: the SQLite file of the data folder, or, when the test
// was started with PELLOMAR_TEST_STORE=server, a schema of its own on the server that
// PELLOMAR_TEST_SERVER names (a libpq connection string).
namespace TestStore {

bool IsServer();
// Points a new data folder at a fresh schema of the test server (writes its server.conf);
// does nothing for the SQLite store.
void Prepare(const QString& dataDir);

} // namespace TestStore
