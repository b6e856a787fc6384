#pragma once

#include <QString>

#include <vector>

class Statement;

// The rows of a view held in memory in the order of its index. Rows live in slots that
// never move; the order is a list of slots cut into chunks, so placing or removing one
// row costs a chunk and the chunk starts, not the whole table.
class TableRows final
{
public:
    struct KeyPart
    {
        int field;
        bool noCase;
        bool numeric;
    };

    // How booleans are held: "1" and "0"; blank is a null text.
    static const QString& TrueText();
    static const QString& FalseText();

    void Reset(int fieldCount, std::vector<KeyPart> order);
    // Reads the rows of a select of rowid and every field, in order; boolean tells which
    // fields are booleans. Columns with few distinct values share one copy of each.
    void Read(Statement& select, const std::vector<bool>& boolean, qint64 expected);
    // Takes rows that are already in order: fieldCount cells per row, row-major.
    void Load(std::vector<QString>&& cells, std::vector<qint64>&& rowids);
    void Clear();

    int Count() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    const QString* Row(int position) const { return Cells(SlotAt(position)); }
    QString* Row(int position) { return Cells(SlotAt(position)); }
    qint64 Rowid(int position) const { return m_rowids[std::size_t(SlotAt(position))]; }
    int Find(qint64 rowid) const; // position, -1 when absent

    // Stores a new row at its place in the order; returns that position.
    int Insert(std::vector<QString>&& values, qint64 rowid);
    // Moves the row at position to its place after its values changed; returns the new one.
    int Place(int position);
    void Erase(int position);

    // <0, 0 or >0 as row a sorts before, with or after row b.
    int Compare(const QString* a, qint64 rowidA, const QString* b, qint64 rowidB) const;

private:
    static constexpr int ChunkSize = 1024; // rows per chunk after a load or a split

    int SlotAt(int position) const;
    int ChunkOf(int position) const;
    QString* Cells(int slot) { return m_cells.data() + std::size_t(slot) * m_width; }
    const QString* Cells(int slot) const { return m_cells.data() + std::size_t(slot) * m_width; }
    bool Less(int slotA, int slotB) const;
    int InsertSlot(int slot);
    void RemoveAt(int position); // from the order only
    void UpdateStarts(std::size_t fromChunk);

    std::size_t m_width = 0;
    std::vector<KeyPart> m_order;
    std::vector<QString> m_cells; // by slot
    std::vector<qint64> m_rowids; // by slot
    std::vector<int> m_freeSlots;
    std::vector<std::vector<int>> m_chunks; // slots in order
    std::vector<int> m_starts;              // position of each chunk's first row
    int m_count = 0;
    mutable std::size_t m_lastChunk = 0; // walking row by row finds its chunk at once
};
