#include "storage/views/TTransaction.h"

#include <exception>

#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"

TTransaction::TTransaction(const QString& folder, Mode mode)
    : m_connection(Session().Connect(folder, true)), m_mode(mode),
      m_uncaught(std::uncaught_exceptions())
{
    m_connection->Begin();
}

TTransaction::~TTransaction() noexcept(false)
{
    if (!m_open)
        return;
    if (std::uncaught_exceptions() == m_uncaught) {
        Commit();
        return;
    }
    // Unwinding: the exception in flight is the one to report.
    try {
        if (m_mode == Mode::KeepDone)
            Commit();
        else
            Rollback();
    } catch (...) {
        if (m_open) {
            try {
                Rollback();
            } catch (...) {
            }
        }
    }
}

void TTransaction::Commit()
{
    if (!m_open)
        return;
    // A failed commit rolls the scope back itself; the scope is over either way.
    m_open = false;
    m_connection->Commit();
}

void TTransaction::Rollback()
{
    if (!m_open)
        return;
    m_open = false;
    m_connection->Rollback();
}
