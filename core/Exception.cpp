#include "core/Exception.h"

#include <utility>

Exception::Exception(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

EAbort::EAbort() : Exception(QStringLiteral("Операция прервана"))
{
}

EDatabaseError::EDatabaseError(QString message, Kind kind, int resultCode, QString indexName)
    : Exception(std::move(message)), m_kind(kind), m_resultCode(resultCode),
      m_indexName(std::move(indexName))
{
}
