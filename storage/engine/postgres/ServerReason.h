#pragma once

#include <QString>

// The reasons libpq gives for a connection that failed or broke, put in Russian for the
// program's messages. Only the common ones are known; any other keeps libpq's own text.
namespace ServerReason {

// The Russian of libpq's text; empty when no part of it is known.
QString InRussian(const QString& libpqText);

// "Нет связи с сервером «host»" followed by the reason: in Russian when known, else libpq's
// own text after a Russian sentence.
QString NoConnection(const QString& host, const QString& libpqText);

} // namespace ServerReason
