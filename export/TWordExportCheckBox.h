#pragma once

#include "export/TExportCheckBox.h"

// The export target of the Word statement: hands the views and the choice to the Word export
// window and shows it modally.
class TWordExportCheckBox : public TExportCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY(TWordExportCheckBox)

public:
    using TExportCheckBox::TExportCheckBox;

    void Export(TTable& Data, TTable& Config, const QString& str) override;
};
