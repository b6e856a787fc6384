#include "export/TExportCheckBox.h"

#include "export/TextRegisterExport.h"
#include "ui/Messages.h"

TExportCheckBox::TExportCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

TExportCheckBox::~TExportCheckBox() = default;

void TExportCheckBox::Export(TTable& Data, TTable& Config, const QString& str)
{
    Messages::ShowMessage(QStringLiteral("Экспорт в текстовый файл"), QStringLiteral("Export"));
    QString closing;
    try {
        ExportTextRegisters(Data, Config, str, &closing);
    } catch (...) {
        if (!closing.isEmpty()) // the files written stay: say which and where they are kept
            Messages::ShowMessage(closing);
        throw;
    }
    if (!closing.isEmpty())
        Messages::ShowMessage(closing);
}
