#pragma once

#include <QString>
#include <QStringList>

// Plain SQL on the store file of a data folder, through a connection of its own: tables
// as an older version or another program left them, and what is stored afterwards.
namespace SqlStore {

// Runs the statements in order; a failing one fails the test (QFAIL-style, returns false).
bool Exec(const QString& dataDir, const QStringList& statements);

// The first column of every row, as text; "<null>" for NULL.
QStringList Column(const QString& dataDir, const QString& query);

// The store's table, index and trigger statements, as a fingerprint of its layouts.
QStringList Schema(const QString& dataDir);

// Older layouts, as earlier versions left them: the employee table with "Fio" and "Org",
// the organisation table keyed by "Organization".
extern const QString OlderBase;
extern const QString OlderConfig;
// SQL literals of the texts, "<null>" giving NULL.
QString Values(const QStringList& texts);
QString OlderEmployee(const QString& fio, const QString& accnt, const QString& org);
QString OlderOrganization(const QString& name);

} // namespace SqlStore
