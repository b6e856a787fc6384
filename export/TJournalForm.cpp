#include "export/TJournalForm.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

#include "export/AtomicFileWriter.h"
#include "export/TSaveDialog.h"
#include "storage/TPathBuilder.h"
#include "ui/ErrorBoundary.h"
#include "ui/NamedControls.h"
#include "ui/WindowPlacement.h"

namespace {

// The digest of a file's bytes, read in pieces; empty when it cannot be read.
QString FileSha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

struct ColumnLook
{
    const char* title;
    int width;
    Qt::Alignment alignment;
};

const ColumnLook Look[TJournalModel::Columns] = {
    {"№", 56, Qt::AlignRight},
    {"Дата и время", 136, Qt::AlignLeft},
    {"Организация", 250, Qt::AlignLeft},
    {"Вид", 80, Qt::AlignLeft},
    {"Сотрудников", 90, Qt::AlignRight},
    {"Сумма", 110, Qt::AlignRight},
    {"Кто", 90, Qt::AlignLeft},
    {"Где", 110, Qt::AlignLeft},
    {"Файл в папке выгрузки", 190, Qt::AlignLeft},
};

} // namespace

TJournalModel::TJournalModel(const QString& dataFolder, QString outFolder, QObject* parent)
    : QAbstractTableModel(parent), m_entries(TRegisterJournal(dataFolder).Entries()),
      m_outFolder(std::move(outFolder))
{
}

TJournalModel::~TJournalModel() = default;

int TJournalModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TJournalModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant TJournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= Columns)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(Look[section].title);
    return {};
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Look[index.column()].alignment | Qt::AlignVCenter);
    const TRegisterEntry& entry = Entry(index.row());
    if (role == Qt::ToolTipRole)
        return QDir::toNativeSeparators(FilePath(index.row()));
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Number:
        return QString::number(entry.Id);
    case Made:
        return entry.Made.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    case Organisation:
        return entry.Org;
    case Kind:
        return entry.Kind == TRegisterJournal::KindStatement ? QStringLiteral("ведомость")
                                                             : QStringLiteral("реестр");
    case Employees:
        return QString::number(entry.Employees);
    case Total:
        return entry.Total;
    case Who:
        return entry.UserName;
    case Where:
        return entry.Host;
    case State:
        return StateOf(index.row());
    default:
        return {};
    }
}

QString TJournalModel::StateOf(int row) const
{
    const TRegisterEntry& entry = Entry(row);
    const QFileInfo info(FilePath(row));
    if (!info.isFile())
        return Missing;
    FileDigest& known = m_digests[entry.FileName];
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    if (known.size != info.size() || known.modified != modified || known.sha256.isEmpty())
        known = {info.size(), modified, FileSha256(info.filePath())};
    if (known.sha256.isEmpty())
        return Unreadable;
    return known.sha256 == entry.Sha256 ? Same : Changed;
}

void TJournalModel::FilesChanged()
{
    if (!m_entries.empty())
        Q_EMIT dataChanged(index(0, State), index(rowCount() - 1, State), {Qt::DisplayRole});
}

TJournalForm::TJournalForm(QWidget* parent)
    : QDialog(parent), m_folder(TPathBuilder::GetEmployeeDBPath())
{
    setObjectName(QStringLiteral("JournalForm"));
    setWindowTitle(QStringLiteral("Журнал выгрузок"));
    const QString outFolder = TPathBuilder::GetOutPath();
    m_model = new TJournalModel(m_folder, outFolder, this);

    CountLabel = NamedControls::Label(
        this, "CountLabel",
        m_model->rowCount() == 0
            ? QStringLiteral("Выгрузок ещё не было.")
            : QStringLiteral("Записано файлов: %1 (новые сверху). Записи журнала не удаляются "
                             "и не меняются.")
                  .arg(m_model->rowCount()));
    JournalGrid = new QTableView(this);
    JournalGrid->setObjectName(QStringLiteral("JournalGrid"));
    JournalGrid->setModel(m_model);
    JournalGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    JournalGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    JournalGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    JournalGrid->setWordWrap(false);
    JournalGrid->verticalHeader()->hide();
    // Fixed sizes: measuring the contents would ask every row's state, and so read every file.
    JournalGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    JournalGrid->verticalHeader()->setDefaultSectionSize(JournalGrid->fontMetrics().height() + 8);
    QHeaderView* header = JournalGrid->horizontalHeader();
    header->setHighlightSections(false);
    for (int column = 0; column < TJournalModel::Columns; ++column)
        header->resizeSection(column, Look[column].width);
    header->setSectionResizeMode(TJournalModel::Organisation, QHeaderView::Stretch);

    SaveCopyButton =
        NamedControls::Button(this, "SaveCopyButton", QStringLiteral("Сохранить копию…"));
    CloseButton = NamedControls::Button(this, "CloseButton", QStringLiteral("Закрыть"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SaveCopyButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CountLabel);
    layout->addWidget(JournalGrid);
    layout->addLayout(buttons);
    resize(1180, 600);

    // A file replaced, removed or written anew in the out folder shows at once.
    auto* watcher = new QFileSystemWatcher(this);
    if (QFileInfo(outFolder).isDir())
        watcher->addPath(outFolder);
    connect(watcher, &QFileSystemWatcher::directoryChanged, m_model, &TJournalModel::FilesChanged);
    connect(JournalGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TJournalForm::SelectionChanged);
    connect(SaveCopyButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { SaveCopyButtonClick(); }); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    if (m_model->rowCount() > 0)
        JournalGrid->selectRow(0);
    SelectionChanged();
}

TJournalForm::~TJournalForm() = default;

void TJournalForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CenterOnScreen(this);
}

void TJournalForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // A file changed in place while another program was in front.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_model->FilesChanged();
}

void TJournalForm::SelectionChanged()
{
    SaveCopyButton->setEnabled(JournalGrid->selectionModel()->hasSelection());
}

void TJournalForm::SaveCopyButtonClick()
{
    const QModelIndexList rows = JournalGrid->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const TRegisterEntry& entry = m_model->Entry(rows.front().row());

    TSaveDialog dialog;
    dialog.Title = QStringLiteral("Копия файла №%1").arg(entry.Id);
    dialog.FileName = entry.FileName;
    const QString suffix = QFileInfo(entry.FileName).suffix();
    dialog.Filter = entry.Kind == TRegisterJournal::KindStatement
                        ? QStringLiteral("Документы Word|*.") + suffix
                        : QStringLiteral("Текстовые файлы|*.") + suffix;
    dialog.Filter += QStringLiteral("|Все файлы|*");
    if (!dialog.Execute(this))
        return;

    const QByteArray content = TRegisterJournal(m_folder).Content(entry.Id);
    if (content.isNull())
        throw Exception(
            QStringLiteral("Копия не сохранена: записи №%1 нет в журнале выгрузок.").arg(entry.Id));
    if (TRegisterJournal::Digest(content) != entry.Sha256)
        throw Exception(QStringLiteral("Копия не сохранена: байты записи №%1 в журнале не "
                                       "совпадают с её контрольной суммой.")
                            .arg(entry.Id));
    try {
        WriteFileAtomically(dialog.FileName, [&content, &dialog](QIODevice& device) {
            if (device.write(content) != content.size())
                throw EFileCreateError(QStringLiteral("Не удалось записать файл «%1»: %2")
                                           .arg(dialog.FileName, device.errorString()));
        });
    } catch (const EFileCreateError& error) {
        throw Exception(QStringLiteral("Копия не сохранена. ") + error.Message());
    }
    m_model->FilesChanged(); // the copy may have gone into the out folder
}
