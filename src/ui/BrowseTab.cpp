#include "ui/BrowseTab.h"

#include "browse/BrowseTree.h"
#include "browse/ProfileBoxes.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

namespace zestrel
{

BrowseTab::BrowseTab(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter);

    tvUsers_ = new QTreeView(splitter);
    tvUsers_->setObjectName(QStringLiteral("tvUsers"));
    tvUsers_->setHeaderHidden(true);
    tvUsers_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *panel = new QWidget(splitter);
    auto *form = new QFormLayout(panel);
    const char *labels[] = {"Username", "", "Description", "Extended Information"};
    static_assert(std::size(labels) == ProfileBoxes::Count);
    for (int i = 0; i < ProfileBoxes::Count; ++i) {
        QWidget *box;
        if (i < 2) {
            auto *line = new QLineEdit(panel);
            line->setReadOnly(true);
            box = line;
        } else {
            auto *text = new QPlainTextEdit(panel);
            text->setReadOnly(true);
            text->setMaximumHeight(i == 2 ? 60 : 110);
            box = text;
        }
        box->setObjectName(QStringLiteral("txtProfile_%1").arg(i));
        txtProfile_[size_t(i)] = box;
        form->addRow(QString::fromLatin1(labels[i]), box);
    }
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
}

void BrowseTab::bind(BrowseTree &tree, ProfileBoxes &profile)
{
    tvUsers_->setModel(&tree.tvUsers);
    tvUsers_->setSelectionModel(&tree.tvUsersSelection);
    for (int i = 0; i < ProfileBoxes::Count; ++i)
        showProfileText(i, profile.Text(i));
    connect(&profile, &ProfileBoxes::textChanged, this, &BrowseTab::showProfileText);
}

void BrowseTab::showProfileText(int index, const QString &text)
{
    if (index < 0 || index >= ProfileBoxes::Count)
        return;
    QWidget *box = txtProfile_[size_t(index)];
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(text);
    else if (auto *area = qobject_cast<QPlainTextEdit *>(box))
        area->setPlainText(text);
}

} // namespace zestrel
