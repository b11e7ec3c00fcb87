#include "ui/SearchTab.h"

#include "search/SearchModel.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace zestrel
{

SearchTab::SearchTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SearchTab"));
    auto *layout = new QVBoxLayout(this);
    auto *criteria = new QGridLayout;
    const char *labels[] = {"Title", "Ingredient", "Category"};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(QString::fromLatin1(labels[i]), this);
        label->setObjectName(QStringLiteral("lblData_%1").arg(i));
        auto *field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("txtData_%1").arg(i));
        field->installEventFilter(this);
        label->setBuddy(field);
        criteria->addWidget(label, 0, i);
        criteria->addWidget(field, 1, i);
        txtData_[size_t(i)] = field;
    }
    cmdSearch_ = new QPushButton(QStringLiteral("&Search"), this);
    cmdSearch_->setObjectName(QStringLiteral("cmdSearch"));
    criteria->addWidget(cmdSearch_, 1, 3);
    layout->addLayout(criteria);

    lvwResults_ = new QTreeView(this);
    lvwResults_->setObjectName(QStringLiteral("lvwResults"));
    lvwResults_->setRootIsDecorated(false);
    lvwResults_->setUniformRowHeights(true);
    lvwResults_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwResults_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwResults_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwResults_->installEventFilter(this);
    layout->addWidget(lvwResults_, 3);

    auto *previewLabel = new QLabel(QStringLiteral("Preview"), this);
    previewLabel->setObjectName(QStringLiteral("lblPreview_1"));
    layout->addWidget(previewLabel);
    txtPreview_ = new QPlainTextEdit(this);
    txtPreview_->setObjectName(QStringLiteral("txtPreview_1"));
    txtPreview_->setReadOnly(true);
    layout->addWidget(txtPreview_, 2);
}

void SearchTab::bind(SearchModel &model)
{
    model_ = &model;
    lvwResults_->setModel(&model.sortedResults);
    // The "IP" column carries the owner's key and is never shown.
    lvwResults_->setColumnHidden(SearchModel::IpColumn, true);
    lvwResults_->setColumnWidth(SearchModel::UserColumn, 140);
    // Sorting is the model's: a header click switches it on, a search off again.
    lvwResults_->setSortingEnabled(false);
    lvwResults_->header()->setSectionsClickable(true);
    lvwResults_->header()->setSortIndicatorShown(true);
    lvwResults_->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(lvwResults_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        model_->lvwResults_ColumnClick(column);
        lvwResults_->header()->setSortIndicator(column, Qt::AscendingOrder);
    });
    connect(lvwResults_, &QTreeView::clicked, this,
            [this](const QModelIndex &index) { model_->lvwResults_Click(index); });

    for (int i = 0; i < 3; ++i) {
        QLineEdit *field = txtData_[size_t(i)];
        field->setText(model.Data(i));
        connect(field, &QLineEdit::textEdited, this,
                [this, i](const QString &text) { model_->SetData(i, text); });
        connect(field, &QLineEdit::returnPressed, cmdSearch_, &QPushButton::click);
    }
    connect(&model, &SearchModel::dataChanged, this, [this](int i, const QString &text) {
        if (txtData_[size_t(i)]->text() != text)
            txtData_[size_t(i)]->setText(text);
    });
    connect(cmdSearch_, &QPushButton::clicked, this, [this] {
        lvwResults_->header()->setSortIndicator(-1, Qt::AscendingOrder);
        model_->cmdSearch_Click();
    });
    connect(&model, &SearchModel::focusTitleRequested, this, [this] { txtData_[0]->setFocus(); });
    connect(&model, &SearchModel::busyChanged, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });

    txtPreview_->setPlainText(model.PreviewText());
    connect(&model, &SearchModel::previewTextChanged, txtPreview_,
            [this](const QString &text) { txtPreview_->setPlainText(text); });
    // Ctrl+S in the preview box puts its text in the message center.
    auto *showText = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), txtPreview_);
    showText->setContext(Qt::WidgetShortcut);
    connect(showText, &QShortcut::activated, this, [this] { model_->ShowPreviewText(); });
}

void SearchTab::tabShown()
{
    setSearchDefault(true);
    cmdSearch_->setFocus();
    txtData_[0]->setFocus();
}

void SearchTab::setSearchDefault(bool on)
{
    cmdSearch_->setDefault(on);
}

bool SearchTab::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        for (QLineEdit *field : txtData_)
            if (watched == field) {
                // After the mouse press that gave the focus has placed the caret.
                QTimer::singleShot(0, field, [field] { field->selectAll(); });
                break;
            }
    } else if (event->type() == QEvent::KeyRelease && watched == lvwResults_ && model_) {
        // Any key released in the list asks for the current row's recipe, like a click.
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            model_->lvwResults_Click(lvwResults_->currentIndex());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zestrel
