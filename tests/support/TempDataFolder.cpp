#include "tests/support/TempDataFolder.h"

#include <QDir>

#include "core/Platform.h"

TempDataFolder::TempDataFolder(bool withTree)
{
    const QString root = m_dir.path();
    Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
    if (withTree) {
        QDir().mkpath(DataDir());
        QDir().mkpath(OutDir());
    }
}

TempDataFolder::~TempDataFolder()
{
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
