/* Writes the seed corpus of fuzz_paradoxtable with pxlib's own writing functions: the
 * employee and organisation tables in current and older layouts, both code pages, an
 * empty table and one of every kind the reader carries over. Run from this folder:
 *     cc make-paradox-seeds.c -lpx -o /tmp/seeds && /tmp/seeds */
#include <paradox.h>
#include <stdlib.h>
#include <string.h>

struct field_def { const char* name; char type; int len; };

static void write(const char* path, const struct field_def* defs, int count, int codepage,
                  const char* const* rows, int records)
{
    pxdoc_t* doc = PX_new();
    pxfield_t* fields = calloc(count, sizeof(pxfield_t));
    int size = 0;
    for (int i = 0; i < count; ++i) {
        fields[i].px_fname = strdup(defs[i].name);
        fields[i].px_ftype = defs[i].type;
        fields[i].px_flen = defs[i].len;
        size += defs[i].len;
    }
    PX_create_file(doc, fields, count, path, pxfFileTypNonIndexDB);
    doc->px_head->px_doscodepage = codepage;
    PX_set_parameter(doc, "tablename", "table");
    char* record = malloc(size);
    for (int r = 0; r < records; ++r) {
        memset(record, 0, size);
        char* at = record;
        for (int i = 0; i < count; ++i) {
            const char* value = rows[r * count + i];
            if (value) {
                switch (defs[i].type) {
                case pxfAlpha: PX_put_data_alpha(doc, at, defs[i].len, (char*) value); break;
                case pxfLogical: PX_put_data_byte(doc, at, 1, (char) atoi(value)); break;
                case pxfShort: PX_put_data_short(doc, at, 2, (short) atoi(value)); break;
                case pxfNumber: case pxfCurrency: case pxfTimestamp:
                    PX_put_data_double(doc, at, 8, atof(value)); break;
                default: PX_put_data_long(doc, at, defs[i].len, atoi(value)); break;
                }
            }
            at += defs[i].len;
        }
        PX_put_record(doc, record);
    }
    free(record);
    doc->px_stream->close = px_true;
    PX_delete(doc);
}

int main(void)
{
    const struct field_def base[] = {{"Id", pxfAutoInc, 4}, {"Fio100", pxfAlpha, 100},
        {"Accnt", pxfAlpha, 22}, {"Amount", pxfAlpha, 15}, {"Export", pxfLogical, 1},
        {"Org120", pxfAlpha, 120}};
    const char* baseRows[] = {"1", "\xc8\xc2\xc0\xcd\xce\xc2 \xc8\xc2\xc0\xcd", "40817", "1500",
                              "1", "\xc1\xe5\xf2\xe0",
                              "2", "\xa8\xeb\xea\xe8\xed\xe0", "40818", NULL, "0", NULL,
                              "3", NULL, NULL, "7", NULL, NULL};
    write("paradoxtable/base-1251.db", base, 6, 1251, baseRows, 3);
    write("paradoxtable/empty.db", base, 6, 0, NULL, 0);

    const struct field_def older[] = {{"Fio", pxfAlpha, 30}, {"Accnt", pxfAlpha, 22},
        {"Amount", pxfAlpha, 15}, {"Export", pxfLogical, 1}, {"Org", pxfAlpha, 20}};
    const char* olderRows[] = {"\x88\x82\x80\x8d\x8e\x82", "1", "1.5", "1", "\x90\xae\xac",
                               "\xf0\xab\xaa\xa8\xad\xa0", "2", "", "0", NULL};
    write("paradoxtable/older-866.db", older, 5, 866, olderRows, 2);

    const struct field_def config[] = {{"Organization", pxfAlpha, 60}, {"Accnt", pxfAlpha, 22},
        {"Position", pxfAlpha, 30}, {"Director", pxfAlpha, 30}, {"Accountant", pxfAlpha, 30},
        {"Contract", pxfAlpha, 8}, {"Crnc", pxfAlpha, 3}};
    const char* configRows[] = {"\xc1\xe5\xf2\xe0", "40702", "d", "D", "A", "7", "RUR"};
    write("paradoxtable/config-older.db", config, 7, 1251, configRows, 1);

    const struct field_def kinds[] = {{"S", pxfShort, 2}, {"L", pxfLong, 4}, {"N", pxfNumber, 8},
        {"C", pxfCurrency, 8}, {"D", pxfDate, 4}, {"T", pxfTime, 4}, {"TS", pxfTimestamp, 8},
        {"B", pxfLogical, 1}, {"A", pxfAlpha, 3}};
    const char* kindRows[] = {"-7", "123456", "2.5", "1500.25", "738000", "3600000",
                              "63000000000000", "1", "abc",
                              NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};
    write("paradoxtable/kinds.db", kinds, 9, 1251, kindRows, 2);
    return 0;
}
