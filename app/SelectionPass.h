#pragma once

#include <QList>

#include <functional>

class TTable;

// One change made to chosen employees, named by their identities, in one transaction: each
// row goes through the view's before-post rule and is stored, or, once one is refused, none is.
namespace SelectionPass {

// Sets fields of the current row, which is in edit.
using Change = std::function<void(TTable& employees)>;

// A pending change of the current row is stored first, on its own. A refusal throws an error
// that names the employee and says that none was changed. The view ends in browse on the
// employee that was current.
void Apply(TTable& employees, const QList<qint64>& rowids, const Change& change);

} // namespace SelectionPass
