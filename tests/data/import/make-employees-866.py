#!/usr/bin/python3
# Writes employees-866.dbf with Debian's python3-dbf (0.96): a dBASE III table in the
# DOS Cyrillic code page, amounts as numbers, one record marked as deleted.
import dbf

table = dbf.Table(
    "employees-866.dbf",
    "L1__01 C(40); L1__02 N(12,2); L1__03 C(6); L1__04 C(25); L1__05 C(4)",
    dbf_type="db3",
    codepage="cp866",
)
table.open(dbf.READ_WRITE)
for row in [
    ("ЯКОВЛЕВА ЁЛКА ПЕТРОВНА", 12345.5, "A1", "40817810500000000017", "1"),
    ("СМИРНОВ ИГОРЬ", 1500, "A2", "40817810500000000025", "1"),
    ("УДАЛЕННАЯ ЗАПИСЬ", 10, "A3", "40817810500000000033", "1"),
    ("", 700, "A4", "40817810500000000041", "1"),
    ("КУЗНЕЦОВА АННА", None, "A5", "", "1"),
]:
    table.append(row)
dbf.delete(table[2])
table.close()
