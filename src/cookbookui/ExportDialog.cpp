#include "cookbookui/ExportDialog.h"

#include "cookbook/Cookbook.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace zestrel::cookbookui
{

using cookbook::ExportFormat;

ExportDialog::ExportDialog(cookbook::Cookbook &store, Prompter &prompter,
                           const QList<qint64> &selected, QWidget *parent)
    : QDialog(parent), store_(store), prompter_(prompter), selected_(selected)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export Recipes"));

    optSelected_ = new QRadioButton(
        selected.size() == 1 ? QStringLiteral("The selected recipe")
                             : QStringLiteral("The %1 selected recipes").arg(selected.size()),
        this);
    optSelected_->setObjectName(QStringLiteral("optSelected"));
    optSelected_->setEnabled(!selected.isEmpty());
    optCategory_ = new QRadioButton(QStringLiteral("The category"), this);
    optCategory_->setObjectName(QStringLiteral("optCategory"));
    cboCategory_ = new QComboBox(this);
    cboCategory_->setObjectName(QStringLiteral("cboCategory"));
    cboCategory_->addItems(store.Categories());
    optCategory_->setEnabled(cboCategory_->count() > 0);
    optAll_ = new QRadioButton(QStringLiteral("All recipes"), this);
    optAll_->setObjectName(QStringLiteral("optAll"));
    (selected.isEmpty() ? optAll_ : optSelected_)->setChecked(true);
    connect(cboCategory_, &QComboBox::activated, this, [this] { optCategory_->setChecked(true); });

    cboFormat_ = new QComboBox(this);
    cboFormat_->setObjectName(QStringLiteral("cboFormat"));
    for (ExportFormat f : {ExportFormat::MealMaster, ExportFormat::JsonLd, ExportFormat::Cooklang,
                           ExportFormat::Pdf})
        cboFormat_->addItem(cookbook::ExportFormatTitle(f), int(f));
    spnServings_ = new QSpinBox(this);
    spnServings_->setObjectName(QStringLiteral("spnServings"));
    spnServings_->setRange(0, cookbook::kMaxServings);
    spnServings_->setSpecialValueText(QStringLiteral("As written"));
    cboMeasures_ = new QComboBox(this);
    cboMeasures_->setObjectName(QStringLiteral("cboMeasures"));
    cboMeasures_->addItem(QStringLiteral("As written"), int(cookbook::Measures::AsWritten));
    cboMeasures_->addItem(QStringLiteral("Metric"), int(cookbook::Measures::Metric));
    cboMeasures_->addItem(QStringLiteral("US"), int(cookbook::Measures::US));
    txtTitle_ = new QLineEdit(QStringLiteral("My Cookbook"), this);
    txtTitle_->setObjectName(QStringLiteral("txtTitle"));
    txtOutFile_ = new QLineEdit(this);
    txtOutFile_->setObjectName(QStringLiteral("txtOutFile"));
    txtOutFile_->setMinimumWidth(360);
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    txtOutFile_->setText(
        QDir(docs.isEmpty() ? QDir::homePath() : docs).filePath(QStringLiteral("cookbook.mmf")));
    auto *cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    lblResult_ = new QLabel(this);
    lblResult_->setObjectName(QStringLiteral("lblResult"));
    lblResult_->setWordWrap(true);

    auto *which = new QVBoxLayout;
    which->addWidget(optSelected_);
    auto *category = new QHBoxLayout;
    category->addWidget(optCategory_);
    category->addWidget(cboCategory_, 1);
    which->addLayout(category);
    which->addWidget(optAll_);
    auto *out = new QHBoxLayout;
    out->addWidget(txtOutFile_, 1);
    out->addWidget(cmdBrowse);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Recipes:"), which);
    form->addRow(QStringLiteral("Format:"), cboFormat_);
    form->addRow(QStringLiteral("Servings:"), spnServings_);
    form->addRow(QStringLiteral("Measures:"), cboMeasures_);
    form->addRow(QStringLiteral("Cookbook title:"), txtTitle_);
    form->addRow(QStringLiteral("Save as:"), out);

    auto *cmdExport = new QPushButton(QStringLiteral("&Export"), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdExport->setDefault(true);
    auto *cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblResult_);
    layout->addLayout(buttons);

    connect(cboFormat_, &QComboBox::currentIndexChanged, this, &ExportDialog::FormatChanged);
    connect(cmdBrowse, &QPushButton::clicked, this, &ExportDialog::Browse);
    connect(cmdExport, &QPushButton::clicked, this, &ExportDialog::ExportNow);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    FormatChanged();
}

cookbook::ExportSelection ExportDialog::Selection() const
{
    cookbook::ExportSelection s;
    if (optSelected_->isChecked())
        s.ids = selected_;
    else if (optCategory_->isChecked())
        s.category = cboCategory_->currentText();
    return s;
}

cookbook::ExportOptions ExportDialog::Options() const
{
    cookbook::ExportOptions o;
    o.format = ExportFormat(cboFormat_->currentData().toInt());
    o.presentation.servings = spnServings_->value();
    o.presentation.measures = cookbook::Measures(cboMeasures_->currentData().toInt());
    o.title = txtTitle_->text();
    return o;
}

QString ExportDialog::OutPath() const
{
    return txtOutFile_->text().trimmed();
}

void ExportDialog::FormatChanged()
{
    const ExportFormat f = ExportFormat(cboFormat_->currentData().toInt());
    txtTitle_->setEnabled(f == ExportFormat::Pdf);
    // The file name follows the format while it ends in one of the formats' endings.
    QFileInfo info(OutPath());
    const QString suffix = info.suffix().toLower();
    for (ExportFormat g : {ExportFormat::MealMaster, ExportFormat::JsonLd, ExportFormat::Cooklang,
                           ExportFormat::Pdf})
        if (suffix == cookbook::ExportExtension(g) && !OutPath().isEmpty()) {
            txtOutFile_->setText(info.dir().filePath(info.completeBaseName() + QLatin1Char('.') +
                                                     cookbook::ExportExtension(f)));
            break;
        }
}

void ExportDialog::Browse()
{
    const auto path =
        prompter_.ChooseFile(QFileInfo(OutPath()).absolutePath(),
                             QStringLiteral("*.") + cookbook::ExportExtension(Options().format));
    if (path)
        txtOutFile_->setText(*path);
}

bool ExportDialog::ExportNow()
{
    const QString title = QStringLiteral("Export");
    if (OutPath().isEmpty()) {
        prompter_.MessageBox(QStringLiteral("Say where the file is to be saved."), title,
                             PromptIcon::Warning);
        return false;
    }
    QString error;
    const auto recipes = cookbook::SelectRecipes(store_, Selection(), &error);
    if (!recipes || recipes->isEmpty()) {
        prompter_.MessageBox(recipes ? QStringLiteral("There are no recipes to export.") : error,
                             title, PromptIcon::Warning);
        return false;
    }
    if (QFileInfo::exists(OutPath()) &&
        prompter_.MessageBox(QStringLiteral("%1 exists. Replace it?").arg(OutPath()), title,
                             PromptIcon::Question, PromptButtons::YesNo) != PromptAnswer::Yes)
        return false;
    const cookbook::ExportOptions options = Options();
    QProgressDialog progress(QStringLiteral("Writing the cookbook..."), QStringLiteral("Cancel"), 0,
                             100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const bool ok = cookbook::ExportRecipes(*recipes, OutPath(), options, &error,
                                            [&progress](int done, int total) {
                                                progress.setMaximum(total);
                                                progress.setValue(done);
                                                QApplication::processEvents();
                                                return !progress.wasCanceled();
                                            });
    progress.reset();
    if (!ok) {
        lblResult_->setText(error);
        prompter_.MessageBox(QStringLiteral("The recipes were not exported: ") + error, title,
                             PromptIcon::Error);
        return false;
    }
    lblResult_->setText((recipes->size() == 1
                             ? QStringLiteral("Exported 1 recipe")
                             : QStringLiteral("Exported %1 recipes").arg(recipes->size())) +
                        QStringLiteral(" as ") + cookbook::ExportFormatTitle(options.format) +
                        QStringLiteral(" to ") + QDir::toNativeSeparators(OutPath()));
    return true;
}

} // namespace zestrel::cookbookui
