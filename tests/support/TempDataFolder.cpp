#include "tests/support/TempDataFolder.h"

#include <QDir>

#include "core/Platform.h"
#include "tests/support/TestStore.h"

namespace {

// The folder whose provider is installed; an older one going away later must not undo it.
const TempDataFolder* g_installed = nullptr;

} // namespace

TempDataFolder::TempDataFolder(bool withTree)
{
    g_installed = this;
    const QString root = m_dir.path();
    Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
    if (withTree) {
        QDir().mkpath(DataDir());
        QDir().mkpath(OutDir());
        TestStore::Prepare(DataDir());
    }
}

TempDataFolder::~TempDataFolder()
{
    if (g_installed != this)
        return;
    g_installed = nullptr;
    Platform::SetCommonAppDataProvider({});
}

QString TempDataFolder::Root() const
{
    return m_dir.path();
}

QString TempDataFolder::DataDir() const
{
    return m_dir.path() + QStringLiteral("/Tarnoquill/Pellomar/data/");
}

QString TempDataFolder::OutDir() const
{
    return m_dir.path() + QStringLiteral("/Tarnoquill/Pellomar/out/");
}
