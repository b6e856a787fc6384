#pragma once

#include "ui/TComboBox.h"

class TDataSource;

// A pick-only drop-down bound to one field of a data source's current row: it shows the
// field's text, and a choice writes the chosen entry into the field (the row goes into edit).
class TDBComboBox final : public TComboBox
{
    Q_OBJECT

public:
    explicit TDBComboBox(QWidget* parent = nullptr);

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return m_source; }
    void SetDataField(const QString& field);
    const QString& DataField() const { return m_field; }
    // Shows the field of the current row; only while visible, so passes over many rows
    // cost nothing here.
    void UpdateDisplay();

Q_SIGNALS:
    void Change(); // the user chose an entry and it reached the field

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void Choose(int index);
    // A typed character chooses the first entry that begins with it, whatever was typed
    // before and however fast; no entry begins with it: nothing happens.
    void ChooseByText(const QString& text);

    TDataSource* m_source = nullptr;
    QString m_field;
};
