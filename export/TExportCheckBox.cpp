#include "export/TExportCheckBox.h"

#include "export/TextRegisterExport.h"
#include "ui/Messages.h"

TExportCheckBox::TExportCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

TExportCheckBox::~TExportCheckBox() = default;

void TExportCheckBox::Export(TTable& Data, TTable& Config, const QString& str)
{
    Messages::ShowMessage(QStringLiteral("Экспорт в текстовый файл"), QStringLiteral("Export"));
    ExportTextRegisters(Data, Config, str);
}
