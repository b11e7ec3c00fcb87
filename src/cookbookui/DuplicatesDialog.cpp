#include "cookbookui/DuplicatesDialog.h"

#include "cookbook/Cookbook.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zestrel::cookbookui
{

namespace
{
constexpr int kIdRole = Qt::UserRole + 1;
}

DuplicatesDialog::DuplicatesDialog(cookbook::Cookbook &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), store_(store), prompter_(prompter)
{
    setObjectName(QStringLiteral("frmDuplicates"));
    setWindowTitle(QStringLiteral("Find Duplicates"));
    resize(640, 420);
    lblDuplicates_ = new QLabel(this);
    lblDuplicates_->setObjectName(QStringLiteral("lblDuplicates"));
    lblDuplicates_->setWordWrap(true);
    tvwDuplicates_ = new QTreeWidget(this);
    tvwDuplicates_->setObjectName(QStringLiteral("tvwDuplicates"));
    tvwDuplicates_->setHeaderLabels({QStringLiteral("Recipe"), QStringLiteral("Id")});
    tvwDuplicates_->header()->resizeSection(0, 460);
    connect(tvwDuplicates_, &QTreeWidget::itemChanged, this,
            [this] { cmdDelete_->setEnabled(!Picked().isEmpty()); });
    cmdDelete_ = new QPushButton(QStringLiteral("&Delete Picked"), this);
    cmdDelete_->setObjectName(QStringLiteral("cmdDeleteDuplicates"));
    auto *cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDelete_);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblDuplicates_);
    layout->addWidget(tvwDuplicates_, 1);
    layout->addLayout(buttons);
    connect(cmdDelete_, &QPushButton::clicked, this, &DuplicatesDialog::DeletePicked);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    Refresh();
}

void DuplicatesDialog::Refresh()
{
    QString error;
    const auto groups = cookbook::DuplicateGroups(store_, &error);
    groups_ = groups.value_or(QList<QList<cookbook::KnownRecipe>>());
    const QSignalBlocker block(tvwDuplicates_);
    tvwDuplicates_->clear();
    for (const auto &group : std::as_const(groups_)) {
        auto *top = new QTreeWidgetItem(tvwDuplicates_);
        top->setText(0,
                     QStringLiteral("%1 (%2 copies)").arg(group.first().title).arg(group.size()));
        top->setFlags(Qt::ItemIsEnabled);
        for (const cookbook::KnownRecipe &r : group) {
            auto *item = new QTreeWidgetItem(top);
            item->setText(0, r.title);
            item->setText(1, QString::number(r.id));
            item->setData(0, kIdRole, r.id);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(0, Qt::Unchecked);
        }
    }
    tvwDuplicates_->expandAll();
    if (!groups)
        lblDuplicates_->setText(QStringLiteral("The recipes cannot be read: ") + error);
    else if (groups_.isEmpty())
        lblDuplicates_->setText(QStringLiteral("No duplicates: no two recipes have the same title "
                                               "and ingredients."));
    else
        lblDuplicates_->setText(
            QStringLiteral("%1 groups of recipes with the same title and ingredients. Tick the "
                           "copies to delete.")
                .arg(groups_.size()));
    cmdDelete_->setEnabled(false);
}

void DuplicatesDialog::SetPicked(qint64 id, bool picked)
{
    for (int g = 0; g < tvwDuplicates_->topLevelItemCount(); ++g) {
        QTreeWidgetItem *top = tvwDuplicates_->topLevelItem(g);
        for (int c = 0; c < top->childCount(); ++c)
            if (top->child(c)->data(0, kIdRole).toLongLong() == id)
                top->child(c)->setCheckState(0, picked ? Qt::Checked : Qt::Unchecked);
    }
}

QList<qint64> DuplicatesDialog::Picked() const
{
    QList<qint64> ids;
    for (int g = 0; g < tvwDuplicates_->topLevelItemCount(); ++g) {
        const QTreeWidgetItem *top = tvwDuplicates_->topLevelItem(g);
        for (int c = 0; c < top->childCount(); ++c)
            if (top->child(c)->checkState(0) == Qt::Checked)
                ids << top->child(c)->data(0, kIdRole).toLongLong();
    }
    return ids;
}

int DuplicatesDialog::DeletePicked()
{
    const QList<qint64> ids = Picked();
    if (ids.isEmpty())
        return 0;
    const QString title = QStringLiteral("Find Duplicates");
    const QString question =
        ids.size() == 1 ? QStringLiteral("Delete the picked recipe? This cannot be undone.")
                        : QStringLiteral("Delete the %1 picked recipes? This cannot be undone.")
                              .arg(ids.size());
    if (prompter_.MessageBox(question, title, PromptIcon::Question, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return 0;
    int done = 0;
    QString error;
    for (const qint64 id : ids) {
        if (!store_.Delete(id, &error)) {
            prompter_.MessageBox(QStringLiteral("Recipe %1 was not deleted: %2").arg(id).arg(error),
                                 title, PromptIcon::Error);
            break;
        }
        ++done;
    }
    Refresh();
    if (done > 0)
        emit deleted();
    return done;
}

} // namespace zestrel::cookbookui
