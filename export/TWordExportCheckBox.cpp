#include "export/TWordExportCheckBox.h"

#include "core/Exception.h"
#include "export/TWordExportForm.h"

void TWordExportCheckBox::Export(TTable& Data, TTable& Config, const QString& str)
{
    TWordExportForm* form = TWordExportForm::Instance();
    if (!form)
        throw Exception(QStringLiteral("Окно экспорта в Word не создано"));
    form->SetData(Data, Config, str);
    form->exec();
}
