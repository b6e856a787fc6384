#pragma once

#include <QLineEdit>

#include "ui/KeyRules.h"

class TDataSource;

// A line editor bound to one field of a data source's current row. Typing puts the row
// into edit; the text reaches the field when the editor loses the focus or on UpdateRecord.
class TDBEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit TDBEdit(QWidget* parent = nullptr);

    void SetDataSource(TDataSource* source);
    void SetDataField(const QString& field);
    const QString& DataField() const { return m_field; }
    // caption: the field's name on screen, for the message that refuses a too long paste.
    void SetRule(KeyRules::Rule rule, const QString& caption = QString());

    // Writes the editor's text into the field, if the user changed it.
    void UpdateRecord();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowField();

    TDataSource* m_source = nullptr;
    QString m_field;
    bool m_edited = false;
    KeyRules::TypedCharFilter* m_filter = nullptr;
};
