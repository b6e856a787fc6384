#pragma once

#include "export/TExportCheckBox.h"

// The export target of the Word statement.
class TWordExportCheckBox : public TExportCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY(TWordExportCheckBox)

public:
    using TExportCheckBox::TExportCheckBox;
};
