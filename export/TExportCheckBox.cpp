#include "export/TExportCheckBox.h"

#include "export/TextRegisterExport.h"
#include "ui/Messages.h"

TExportCheckBox::TExportCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

TExportCheckBox::~TExportCheckBox() = default;

void TExportCheckBox::Export(TTable& Data, TTable& Config, const QString& str)
{
    Messages::ShowMessage(QStringLiteral("Экспорт в текстовый файл"), QStringLiteral("Export"));
    QString renamed;
    try {
        ExportTextRegisters(Data, Config, str, &renamed);
    } catch (...) {
        if (!renamed.isEmpty()) // the files written stay: say where
            Messages::ShowMessage(renamed);
        throw;
    }
    if (!renamed.isEmpty())
        Messages::ShowMessage(renamed);
}
