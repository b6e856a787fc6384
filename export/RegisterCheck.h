#pragma once

#include <QString>
#include <QStringList>

#include "export/ExportData.h"

// What a register is about to send that a bank would refuse or pay wrongly: accounts, amounts,
// names and the organisation's own data. Knows nothing of widgets or of the store.
namespace RegisterCheck {

inline const QString Caption = QStringLiteral("Проверка реестра");
// The findings a question names; more are counted.
inline constexpr int MaxNamedFindings = 20;
// The unlisted employees a finding names; more are counted.
inline constexpr int MaxNamedUnlisted = 3;

// One Russian line per finding: the unlisted employees first, then each organisation's own
// data and its rows in order. One pass over the listed rows; an unreadable amount is left to
// ExportData::CheckAmounts.
QStringList Findings(const ExportData::ExportRows& rows);

// The question that asks whether to export despite the findings; empty when there are none.
QString Question(const QStringList& findings);

} // namespace RegisterCheck
