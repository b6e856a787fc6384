#!/usr/bin/python3
# Writes the seed corpus of fuzz_dbftable with Debian's python3-dbf: small valid tables of
# the import's layout (text and numeric amounts, a deleted record, an empty table) and one
# of another layout. Run from this folder: /usr/bin/python3 make-seeds.py
import dbf


def write(name, fields, rows, deleted=(), dbf_type="db3"):
    table = dbf.Table("dbftable/" + name, fields, dbf_type=dbf_type, codepage="cp866")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    for index in deleted:
        dbf.delete(table[index])
    table.close()


layout = "L1__01 C(30); L1__02 C(12); L1__03 C(4); L1__04 C(22); L1__05 C(2)"
write("text-amounts.dbf", layout, [
    ("ИВАНОВ ИВАН", "1500", "1", "40817810000000000001", "1"),
    ("ЁЛКИНА ╔═╗", "  20.5 ", "2", "40817810000000000002", "1"),
    ("", "", "3", "", ""),
], deleted=(1,))
write("numeric-amounts.dbf",
      "L1__01 C(20); L1__02 N(10,2); L1__04 C(22); L1__05 N(3,0)", [
          ("ПЕТРОВ", 99.99, "40817810000000000003", 1),
          ("СИДОРОВ", None, "40817810000000000004", 2),
      ])
write("empty.dbf", layout, [])
write("other-layout.dbf", "NAME C(10); DAY D; OK L", [("A", None, True)])
