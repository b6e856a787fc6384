// libFuzzer target of the dBASE source: opens a file from bytes, looks the import's fields
// up and reads every record the way the import does.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

#include "core/Exception.h"
#include "import/CodePages.h"
#include "import/TDbfTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TDbfTable table;
    try {
        table.OpenBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                        QStringLiteral("fuzz.dbf"));
        // The import reads only fields whose kind is text.
        auto find = [&table](const char* field) {
            const int index = table.FindField(QString::fromLatin1(field));
            return index >= 0 && TDbfField(&table, index).IsText() ? index : -1;
        };
        const int name = find("L1__01");
        const int amount = find("L1__02");
        const int account = find("L1__04");
        const int checked = find("L1__05");
        qsizetype total = table.RecordCount() + checked;
        for (table.First(); !table.Eof(); table.Next()) {
            if (name >= 0)
                total += CodePages::FromCp866Name(TDbfField(&table, name).AsBytes()).size();
            if (amount >= 0)
                total += TDbfField(&table, amount).AsString().size();
            if (account >= 0)
                total += TDbfField(&table, account).AsString().size();
            total += table.RecNo();
        }
        return total < 0 ? -1 : 0;
    } catch (const Exception&) {
        return 0; // a refused file is a normal outcome
    }
}
