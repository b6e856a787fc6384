#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QHash>

#include <vector>

#include "storage/layouts/RegisterJournal.h"

class QLabel;
class QPushButton;
class QTableView;

// The register journal as a table, newest first, read from the store once. The state of a
// row compares the file of that name in the out folder with the digest kept, when the row is
// shown: a file's digest is taken again only when its size or time of change moved, so the
// table opens without reading the out folder and shows no stale state.
class TJournalModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(TJournalModel)

public:
    enum Column
    {
        Number,
        Made,
        Organisation,
        Kind,
        Employees,
        Total,
        Who,
        Where,
        State,
        Columns
    };

    static inline const QString Same = QStringLiteral("совпадает");
    static inline const QString Changed = QStringLiteral("изменён после выгрузки");
    static inline const QString Missing = QStringLiteral("файла нет");
    static inline const QString Unreadable = QStringLiteral("файл не читается");

    // outFolder ends with the path separator.
    TJournalModel(const QString& dataFolder, QString outFolder, QObject* parent = nullptr);
    ~TJournalModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const TRegisterEntry& Entry(int row) const { return m_entries[std::size_t(row)]; }
    QString FilePath(int row) const { return m_outFolder + Entry(row).FileName; }
    QString StateOf(int row) const;
    // The files of the out folder may have changed: the shown states are asked again.
    void FilesChanged();

private:
    struct FileDigest
    {
        qint64 size = -1;
        qint64 modified = 0; // msecs since epoch
        QString sha256;      // empty when the file could not be read
    };

    std::vector<TRegisterEntry> m_entries;
    QString m_outFolder;
    mutable QHash<QString, FileDigest> m_digests; // by file name
};

// «Журнал выгрузок»: every register and statement written, whether the out folder still
// holds its bytes, and a copy of the kept bytes on request. Nothing in it is deleted or edited.
class TJournalForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TJournalForm)

public:
    // Reads the journal of the program's data folder; throws when the store cannot be read.
    explicit TJournalForm(QWidget* parent = nullptr);
    ~TJournalForm() override;

    TJournalModel* Model() const { return m_model; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SaveCopyButtonClick();
    void SelectionChanged();

    QString m_folder;
    TJournalModel* m_model = nullptr;
    QLabel* CountLabel = nullptr;
    QTableView* JournalGrid = nullptr;
    QPushButton* SaveCopyButton = nullptr;
    QPushButton* CloseButton = nullptr;
};
