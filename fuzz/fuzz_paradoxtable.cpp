// libFuzzer target of the Paradox reader: opens a table from bytes and reads every field of
// every record the way the take-over and the import do.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

#include "core/Exception.h"
#include "import/ParadoxTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TParadoxTable table;
    try {
        table.OpenBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                        QStringLiteral("fuzz.db"));
        qsizetype total = table.CodePage();
        for (int record = 0; record < table.RecordCount(); ++record) {
            table.Read(record);
            for (int field = 0; field < int(table.Fields().size()); ++field)
                total += table.Text(field).size();
        }
        return total < 0 ? -1 : 0;
    } catch (const Exception&) {
        return 0; // a refused file is a normal outcome
    }
}
