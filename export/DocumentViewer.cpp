#include "export/DocumentViewer.h"

#include <QDesktopServices>
#include <QUrl>

namespace DocumentViewer {
namespace {

Opener& Replaced()
{
    static Opener opener;
    return opener;
}

} // namespace

void Open(const QString& path)
{
    if (Replaced())
        Replaced()(path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SetOpener(Opener opener)
{
    Replaced() = std::move(opener);
}

} // namespace DocumentViewer
