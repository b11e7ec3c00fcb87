#include "cookbookui/ImportDialog.h"

#include "cookbook/Cookbook.h"
#include "formats/PageFetcher.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zestrel::cookbookui
{

using cookbook::ImportRow;

namespace
{

QList<QUrl> WebAddresses(const QMimeData &data)
{
    QList<QUrl> urls;
    auto take = [&](const QUrl &u) {
        const QString scheme = u.scheme().toLower();
        if (u.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            urls << u;
    };
    for (const QUrl &u : data.urls())
        take(u);
    if (urls.isEmpty() && data.hasText())
        for (const QString &line : data.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            take(QUrl(line.trimmed()));
    return urls;
}

QStringList LocalFiles(const QMimeData &data)
{
    QStringList files;
    for (const QUrl &u : data.urls())
        if (u.isLocalFile())
            files << u.toLocalFile();
    return files;
}

} // namespace

ImportDialog::ImportDialog(cookbook::Cookbook &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), store_(store), prompter_(prompter), fetcher_(new formats::PageFetcher(this))
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Import Recipes"));
    setAcceptDrops(true);
    resize(820, 460);

    auto *hint = new QLabel(QStringLiteral("Add MealMaster, JSON-LD, HTML or Cooklang files, or "
                                           "the address of a recipe page (or drop them here). "
                                           "Tick the recipes to import."),
                            this);
    hint->setWordWrap(true);
    lstImport_ = new QTreeWidget(this);
    lstImport_->setObjectName(QStringLiteral("lstImport"));
    lstImport_->setHeaderLabels(
        {QStringLiteral("Recipe"), QStringLiteral("Status"), QStringLiteral("From")});
    lstImport_->setRootIsDecorated(false);
    lstImport_->setUniformRowHeights(true);
    lstImport_->header()->resizeSection(0, 240);
    lstImport_->header()->resizeSection(1, 300);
    connect(lstImport_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int) {
        if (filling_)
            return;
        const int row = lstImport_->indexOfTopLevelItem(item);
        if (row >= 0 && row < rows_.size())
            rows_[row].ticked = item->checkState(0) == Qt::Checked;
    });

    auto *cmdFiles = new QPushButton(QStringLiteral("Add &Files..."), this);
    cmdFiles->setObjectName(QStringLiteral("cmdAddFiles"));
    auto *cmdUrl = new QPushButton(QStringLiteral("Add &URL..."), this);
    cmdUrl->setObjectName(QStringLiteral("cmdAddUrl"));
    cmdImport_ = new QPushButton(QStringLiteral("&Import"), this);
    cmdImport_->setObjectName(QStringLiteral("cmdImport"));
    cmdImport_->setDefault(true);
    auto *cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    lblReport_ = new QLabel(this);
    lblReport_->setObjectName(QStringLiteral("lblReport"));
    lblReport_->setWordWrap(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdFiles);
    buttons->addWidget(cmdUrl);
    buttons->addStretch(1);
    buttons->addWidget(cmdImport_);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(lstImport_, 1);
    layout->addWidget(lblReport_);
    layout->addLayout(buttons);

    connect(cmdFiles, &QPushButton::clicked, this, &ImportDialog::AskFile);
    connect(cmdUrl, &QPushButton::clicked, this, &ImportDialog::AskUrl);
    connect(cmdImport_, &QPushButton::clicked, this, [this] { ImportTicked(); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(fetcher_, &formats::PageFetcher::finished, this,
            [this](const formats::ReadResult &result) {
                const QUrl url = waiting_.takeFirst();
                AddSource({url.toString(), result});
                FetchNext();
                emit pageRead();
            });
    ShowRows();
}

ImportDialog::~ImportDialog() = default;

bool ImportDialog::IsFetching() const
{
    return !waiting_.isEmpty();
}

void ImportDialog::AddFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        AddSource({QDir::toNativeSeparators(path), formats::ReadFile(path)});
}

void ImportDialog::AddUrl(const QUrl &url)
{
    waiting_ << url;
    if (waiting_.size() == 1)
        FetchNext();
    ShowRows();
}

void ImportDialog::FetchNext()
{
    if (!waiting_.isEmpty())
        fetcher_->fetch(waiting_.first());
    ShowRows();
}

bool ImportDialog::CanTake(const QMimeData &data)
{
    return !LocalFiles(data).isEmpty() || !WebAddresses(data).isEmpty();
}

bool ImportDialog::AddDropped(const QMimeData &data)
{
    const QStringList files = LocalFiles(data);
    const QList<QUrl> urls = WebAddresses(data);
    AddFiles(files);
    for (const QUrl &u : urls)
        AddUrl(u);
    return !files.isEmpty() || !urls.isEmpty();
}

void ImportDialog::dragEnterEvent(QDragEnterEvent *event)
{
    if (CanTake(*event->mimeData()))
        event->acceptProposedAction();
}

void ImportDialog::dropEvent(QDropEvent *event)
{
    if (AddDropped(*event->mimeData()))
        event->acceptProposedAction();
}

void ImportDialog::AddSource(cookbook::ImportSource source)
{
    sources_ << std::move(source);
    Replan();
}

void ImportDialog::Replan()
{
    // Rows of the sources added before keep the member's ticks; the plan of a source
    // never depends on the ones after it.
    const QList<ImportRow> before = rows_;
    QString error;
    const auto known = cookbook::ReadFingerprints(store_, &error);
    if (!known)
        prompter_.MessageBox(QStringLiteral("The cookbook's recipes cannot be read, so duplicates "
                                            "are not found: ") +
                                 error,
                             QStringLiteral("Import"), PromptIcon::Warning);
    rows_ = cookbook::PlanImport(sources_, known.value_or(cookbook::KnownFingerprints()));
    for (int i = 0; i < before.size() && i < rows_.size(); ++i)
        if (rows_[i].canImport())
            rows_[i].ticked = before[i].ticked;
    ShowRows();
}

void ImportDialog::SetTicked(int row, bool ticked)
{
    if (row >= 0 && row < rows_.size() && rows_[row].canImport()) {
        rows_[row].ticked = ticked;
        ShowRows();
    }
}

void ImportDialog::ShowRows()
{
    filling_ = true;
    lstImport_->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(rows_.size());
    for (const ImportRow &row : rows_) {
        auto *item = new QTreeWidgetItem;
        const bool error = row.status == ImportRow::Status::Error;
        item->setText(0, error ? QStringLiteral("(not read)") : row.recipe.title);
        item->setText(1, error ? row.message : row.StatusText());
        item->setText(2, row.Where());
        item->setToolTip(1, row.StatusText());
        if (error) {
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
            item->setForeground(1, QColor(0xb0, 0x20, 0x20));
        } else {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, row.ticked ? Qt::Checked : Qt::Unchecked);
        }
        items << item;
    }
    lstImport_->addTopLevelItems(items);
    filling_ = false;
    int ticked = 0;
    for (const ImportRow &row : rows_)
        ticked += row.canImport() && row.ticked;
    cmdImport_->setEnabled(ticked > 0 && waiting_.isEmpty());
    if (!waiting_.isEmpty())
        lblReport_->setText(QStringLiteral("Reading %1 ...").arg(waiting_.first().toString()));
}

QString ImportDialog::ReportText() const
{
    return lblReport_->text();
}

cookbook::ImportReport ImportDialog::ImportTicked()
{
    const cookbook::ImportReport report = cookbook::ImportRows(store_, rows_);
    lblReport_->setText(report.Text());
    if (!report.ok) {
        prompter_.MessageBox(report.Text(), QStringLiteral("Import"), PromptIcon::Error);
        return report;
    }
    if (report.imported > 0)
        emit imported();
    // What was imported is now in the cookbook: planned again, it shows as duplicates.
    sources_.clear();
    rows_.clear();
    ShowRows();
    lblReport_->setText(report.Text());
    return report;
}

void ImportDialog::AskFile()
{
    const auto path = prompter_.ChooseFile(
        QDir::homePath(), QStringLiteral("Recipe files (*.mmf *.mm *.txt *.json *.html *.htm "
                                         "*.cook);;All files (*)"));
    if (path)
        AddFiles({*path});
}

void ImportDialog::AskUrl()
{
    const QString text = prompter_.InputBox(QStringLiteral("The address of a recipe page:"),
                                            QStringLiteral("Import"));
    if (text.trimmed().isEmpty())
        return;
    const QUrl url(text.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        prompter_.MessageBox(QStringLiteral("Only http and https addresses can be imported."),
                             QStringLiteral("Import"), PromptIcon::Warning);
        return;
    }
    AddUrl(url);
}

} // namespace zestrel::cookbookui
