#pragma once

#include <QCheckBox>

class TTable;

// An export target of the export dialog: a check box that, when ticked, is asked to export.
// Its own export writes the text registers.
class TExportCheckBox : public QCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY(TExportCheckBox)

public:
    explicit TExportCheckBox(const QString& text, QWidget* parent = nullptr);
    ~TExportCheckBox() override;

    // Data: the employee view; Config: the organisation view; str: a name or "Все".
    virtual void Export(TTable& Data, TTable& Config, const QString& str);
};
