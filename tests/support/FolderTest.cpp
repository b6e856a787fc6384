#include "tests/support/FolderTest.h"

#include "storage/views/TSession.h"

void FolderTest::StartFolder()
{
    m_folder = std::make_unique<TempDataFolder>();
    m_messages = std::make_unique<MessageRecorder>();
    m_data = m_folder->DataDir();
}

void FolderTest::EndFolder()
{
    Session().CloseAll();
    m_messages.reset();
    m_folder.reset();
}
