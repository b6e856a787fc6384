#include "export/AtomicFileWriter.h"

#include <QDir>
#include <QSaveFile>

#include "core/SystemReason.h"

void WriteFileAtomically(const QString& path, const std::function<void(QIODevice&)>& write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw EFileCreateError(
            QStringLiteral("Не удалось создать файл «%1»: %2")
                .arg(QDir::toNativeSeparators(path), SystemReason::InRussian(file.errorString())));
    }
    write(file); // an exception leaves the QSaveFile uncommitted: its temporary file goes
    if (!file.commit()) {
        throw EFileCreateError(
            QStringLiteral("Не удалось записать файл «%1»: %2")
                .arg(QDir::toNativeSeparators(path), SystemReason::InRussian(file.errorString())));
    }
}
