#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDataFolder.h"

// What each test function of a store or window test starts from: a temporary data folder
// the platform reports (m_data: its data folder) and a recorder of the message boxes. A test class derives from it
// beside QObject, calls StartFolder() in init() and EndFolder() last in cleanup(), once it
// has dropped its own windows and views.
class FolderTest
{
protected:
    void StartFolder();
    // Closes the store's connections, then drops the recorder and the folder.
    void EndFolder();

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;
    QString m_data;
};

// A folder test of one window, m_form, whose children Find reaches by object name.
template <typename Form>
class WindowTest : public FolderTest
{
protected:
    template <typename T>
    T* Find(const char* name) const
    {
        T* child = m_form->template findChild<T*>(QLatin1String(name));
        Q_ASSERT(child);
        return child;
    }

    // Drops the window first.
    void EndFolder()
    {
        m_form.reset();
        FolderTest::EndFolder();
    }

    std::unique_ptr<Form> m_form;
};
