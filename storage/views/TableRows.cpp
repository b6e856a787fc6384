#include "storage/views/TableRows.h"

#include <QHash>

#include <algorithm>
#include <iterator>

#include "storage/engine/sqlite/Collation.h"
#include "storage/engine/StoreConnection.h"

const QString& TableRows::TrueText()
{
    static const QString text = QStringLiteral("1");
    return text;
}

const QString& TableRows::FalseText()
{
    static const QString text = QStringLiteral("0");
    return text;
}

void TableRows::Read(Statement& select, const std::vector<bool>& boolean, qint64 expected)
{
    std::vector<QString> cells;
    std::vector<qint64> rowids;
    cells.reserve(std::size_t(expected) * m_width);
    rowids.reserve(std::size_t(expected));
    // Columns with few distinct values (organisation names) share one copy of each value;
    // a column whose first rows are mostly distinct stops sharing.
    constexpr qsizetype SampleRows = 4096;
    constexpr qsizetype MaxSampleDistinct = SampleRows / 2;
    constexpr qsizetype MaxShared = 8192;
    std::vector<QHash<QByteArray, QString>> shared{m_width};
    std::vector<bool> sharing(m_width, true);
    const Statement& s = select;
    while (select.Step()) {
        if (qsizetype(rowids.size()) == SampleRows) {
            for (std::size_t f = 0; f < shared.size(); ++f) {
                if (shared[f].size() > MaxSampleDistinct) {
                    sharing[f] = false;
                    shared[f].clear();
                }
            }
        }
        rowids.push_back(s.Int(0));
        for (int f = 0; f < int(m_width); ++f) {
            const int column = f + 1;
            if (s.IsNull(column)) {
                cells.emplace_back();
                continue;
            }
            if (boolean[std::size_t(f)]) {
                cells.push_back(s.Int(column) ? TrueText() : FalseText());
                continue;
            }
            if (!sharing[std::size_t(f)]) {
                cells.push_back(QString::fromUtf8(s.Utf8(column)));
                continue;
            }
            // Looked up by the stored bytes, so a value seen before costs no decoding.
            const QByteArrayView bytes = s.Utf8(column);
            const QByteArray key = QByteArray::fromRawData(bytes.data(), bytes.size());
            QHash<QByteArray, QString>& values = shared[std::size_t(f)];
            auto found = values.constFind(key);
            if (found != values.constEnd()) {
                cells.push_back(*found);
                continue;
            }
            QString text = QString::fromUtf8(key);
            if (values.size() < MaxShared)
                values.insert(QByteArray(key.constData(), key.size()), text);
            else
                sharing[std::size_t(f)] = false, values.clear();
            cells.push_back(std::move(text));
        }
    }
    Load(std::move(cells), std::move(rowids));
}

void TableRows::Reset(int fieldCount, std::vector<KeyPart> order)
{
    Clear();
    m_width = std::size_t(fieldCount);
    m_order = std::move(order);
}

void TableRows::Clear()
{
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_rowids.clear();
    m_rowids.shrink_to_fit();
    m_freeSlots.clear();
    m_chunks.clear();
    m_starts.clear();
    m_count = 0;
    m_lastChunk = 0;
}

void TableRows::Load(std::vector<QString>&& cells, std::vector<qint64>&& rowids)
{
    m_cells = std::move(cells);
    m_rowids = std::move(rowids);
    m_freeSlots.clear();
    m_count = int(m_rowids.size());
    m_chunks.clear();
    for (int first = 0; first < m_count; first += ChunkSize) {
        std::vector<int> chunk(std::size_t(std::min(ChunkSize, m_count - first)));
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = first + int(i);
        m_chunks.push_back(std::move(chunk));
    }
    m_starts.assign(m_chunks.size(), 0);
    UpdateStarts(0);
    m_lastChunk = 0;
}

int TableRows::ChunkOf(int position) const
{
    auto holds = [&](std::size_t c) {
        return c < m_chunks.size() && position >= m_starts[c] &&
               position < m_starts[c] + int(m_chunks[c].size());
    };
    if (holds(m_lastChunk))
        return int(m_lastChunk);
    if (holds(m_lastChunk + 1))
        return int(++m_lastChunk);
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    m_lastChunk = std::size_t(after - m_starts.begin()) - 1;
    return int(m_lastChunk);
}

int TableRows::SlotAt(int position) const
{
    const int c = ChunkOf(position);
    return m_chunks[std::size_t(c)][std::size_t(position - m_starts[std::size_t(c)])];
}

int TableRows::Find(qint64 rowid) const
{
    int position = 0;
    for (const std::vector<int>& chunk : m_chunks) {
        for (const int slot : chunk) {
            if (m_rowids[std::size_t(slot)] == rowid)
                return position;
            ++position;
        }
    }
    return -1;
}

int TableRows::Compare(const QString* a, qint64 rowidA, const QString* b, qint64 rowidB) const
{
    for (const KeyPart& part : m_order) {
        const QString& va = a[part.field];
        const QString& vb = b[part.field];
        if (va.isNull() != vb.isNull())
            return va.isNull() ? -1 : 1;
        if (va.isNull())
            continue;
        int c = 0;
        if (part.numeric) {
            const qint64 na = va.toLongLong();
            const qint64 nb = vb.toLongLong();
            c = na < nb ? -1 : (na > nb ? 1 : 0);
        } else {
            c = part.noCase ? Collation::CompareNoCase(va, vb) : Collation::CompareBinary(va, vb);
        }
        if (c != 0)
            return c;
    }
    return rowidA < rowidB ? -1 : (rowidA > rowidB ? 1 : 0);
}

bool TableRows::Less(int slotA, int slotB) const
{
    return Compare(Cells(slotA), m_rowids[std::size_t(slotA)], Cells(slotB),
                   m_rowids[std::size_t(slotB)]) < 0;
}

int TableRows::Insert(std::vector<QString>&& values, qint64 rowid)
{
    int slot = 0;
    if (!m_freeSlots.empty()) {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
        std::move(values.begin(), values.end(), Cells(slot));
        m_rowids[std::size_t(slot)] = rowid;
    } else {
        slot = int(m_rowids.size());
        m_cells.insert(m_cells.end(), std::make_move_iterator(values.begin()),
                       std::make_move_iterator(values.end()));
        m_rowids.push_back(rowid);
    }
    return InsertSlot(slot);
}

int TableRows::InsertSlot(int slot)
{
    if (m_chunks.empty()) {
        m_chunks.push_back({slot});
        m_starts.assign(1, 0);
        m_count = 1;
        return 0;
    }
    // The first chunk whose last row sorts after the new one takes it; else the last chunk.
    const auto chunkAfter =
        std::partition_point(m_chunks.begin(), m_chunks.end(), [&](const std::vector<int>& chunk) {
            return Less(chunk.back(), slot);
        });
    const std::size_t c = chunkAfter == m_chunks.end() ? m_chunks.size() - 1
                                                       : std::size_t(chunkAfter - m_chunks.begin());
    std::vector<int>& chunk = m_chunks[c];
    const auto at = std::partition_point(chunk.begin(), chunk.end(),
                                         [&](int other) { return Less(other, slot); });
    const int position = m_starts[c] + int(at - chunk.begin());
    chunk.insert(at, slot);
    ++m_count;
    if (chunk.size() > std::size_t(2 * ChunkSize)) {
        std::vector<int> tail(chunk.begin() + ChunkSize, chunk.end());
        chunk.resize(std::size_t(ChunkSize));
        m_chunks.insert(m_chunks.begin() + std::ptrdiff_t(c) + 1, std::move(tail));
        m_starts.insert(m_starts.begin() + std::ptrdiff_t(c) + 1, 0);
    }
    UpdateStarts(c + 1);
    return position;
}

void TableRows::RemoveAt(int position)
{
    const std::size_t c = std::size_t(ChunkOf(position));
    std::vector<int>& chunk = m_chunks[c];
    chunk.erase(chunk.begin() + (position - m_starts[c]));
    --m_count;
    if (chunk.empty()) {
        m_chunks.erase(m_chunks.begin() + std::ptrdiff_t(c));
        m_starts.erase(m_starts.begin() + std::ptrdiff_t(c));
        m_lastChunk = 0;
        UpdateStarts(c);
    } else {
        UpdateStarts(c + 1);
    }
}

int TableRows::Place(int position)
{
    const int slot = SlotAt(position);
    // Most changes keep the row between its neighbours.
    const bool afterPrevious = position == 0 || Less(SlotAt(position - 1), slot);
    const bool beforeNext = position + 1 == m_count || Less(slot, SlotAt(position + 1));
    if (afterPrevious && beforeNext)
        return position;
    RemoveAt(position);
    return InsertSlot(slot);
}

void TableRows::Erase(int position)
{
    const int slot = SlotAt(position);
    RemoveAt(position);
    QString* cells = Cells(slot);
    for (std::size_t f = 0; f < m_width; ++f)
        cells[f] = QString();
    m_rowids[std::size_t(slot)] = -1;
    m_freeSlots.push_back(slot);
}

void TableRows::UpdateStarts(std::size_t fromChunk)
{
    for (std::size_t c = std::max<std::size_t>(fromChunk, 1); c < m_chunks.size(); ++c)
        m_starts[c] = m_starts[c - 1] + int(m_chunks[c - 1].size());
    if (!m_starts.empty())
        m_starts[0] = 0;
}
