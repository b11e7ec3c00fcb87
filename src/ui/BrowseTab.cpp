#include "ui/BrowseTab.h"

#include "browse/BrowseTree.h"
#include "browse/Preview.h"
#include "browse/ProfileBoxes.h"
#include "client/Session.h"

#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <functional>

namespace zestrel
{

namespace
{

int TreeButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return Browser::LeftButton;
    case Qt::RightButton:
        return Browser::RightButton;
    case Qt::MiddleButton:
        return Browser::MiddleButton;
    default:
        return 0;
    }
}

// tvUsers: raises the node click for a mouse click (also on the selected node) and
// for a selection moved by the keys, never for a selection the program made; lets the
// brake see each key before it moves the selection.
class UsersTreeView : public QTreeView
{
  public:
    using QTreeView::QTreeView;

    std::function<void(const QModelIndex &)> nodeClick;
    std::function<bool(int)> keyDown; // true: swallow the key
    std::function<void(int)> mouseDown;
    std::function<void(int)> mouseUp;

  protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (mouseDown)
            mouseDown(TreeButton(event->button()));
        const QModelIndex at = indexAt(event->position().toPoint());
        const bool wasCurrent = at.isValid() && at == currentIndex();
        userMove_ = true;
        QTreeView::mousePressEvent(event);
        userMove_ = false;
        // A click on the node already selected moves nothing but is a click still.
        if (wasCurrent && nodeClick)
            nodeClick(at);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QTreeView::mouseReleaseEvent(event);
        if (mouseUp)
            mouseUp(TreeButton(event->button()));
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (keyDown && keyDown(event->key())) {
            event->accept();
            return;
        }
        userMove_ = true;
        QTreeView::keyPressEvent(event);
        userMove_ = false;
    }
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override
    {
        QTreeView::currentChanged(current, previous);
        if (userMove_ && current.isValid() && nodeClick)
            nodeClick(current);
    }

  private:
    bool userMove_ = false;
};

} // namespace

BrowseTab::BrowseTab(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter, 1);

    // Left: the tree over the folding buttons.
    auto *left = new QWidget(splitter);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    tvUsers_ = new UsersTreeView(left);
    tvUsers_->setObjectName(QStringLiteral("tvUsers"));
    tvUsers_->setHeaderHidden(true);
    tvUsers_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is one line of text: the view need not measure tens of thousands of them.
    tvUsers_->setUniformRowHeights(true);
    leftLayout->addWidget(tvUsers_, 1);
    auto *folding = new QHBoxLayout;
    const char *captions[] = {"Users", "Recipe Types", "Categories", "Expand All"};
    for (int i = 0; i < 4; ++i) {
        auto *b = new QPushButton(QString::fromLatin1(captions[i]), left);
        b->setObjectName(QStringLiteral("cmdNodes_%1").arg(i));
        folding->addWidget(b);
    }
    leftLayout->addLayout(folding);

    // Right: the selected-member panel above the preview box.
    auto *panel = new QWidget(splitter);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        lblProfile_[size_t(i)] = new QLabel(panel);
        lblProfile_[size_t(i)]->setObjectName(QStringLiteral("lblProfile_%1").arg(i));
    }
    lblProfile_[0]->setText(QStringLiteral("Preview"));
    lblProfile_[1]->setText(QStringLiteral("Description"));
    lblProfile_[2]->setText(QStringLiteral("Extended Information"));
    panelLayout->addWidget(lblProfile_[0]);
    profileFields_ = new QWidget(panel);
    auto *grid = new QGridLayout(profileFields_);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < ProfileBoxes::Count; ++i) {
        QWidget *box;
        if (i < 2) {
            auto *line = new QLineEdit(profileFields_);
            line->setReadOnly(true);
            box = line;
        } else {
            auto *text = new QPlainTextEdit(profileFields_);
            text->setReadOnly(true);
            text->setMaximumHeight(i == 2 ? 50 : 80);
            box = text;
        }
        box->setObjectName(QStringLiteral("txtProfile_%1").arg(i));
        txtProfile_[size_t(i)] = box;
    }
    grid->addWidget(txtProfile_[0], 0, 0);
    grid->addWidget(txtProfile_[1], 0, 1);
    grid->addWidget(lblProfile_[1], 1, 0, 1, 2);
    grid->addWidget(txtProfile_[2], 2, 0, 1, 2);
    grid->addWidget(lblProfile_[2], 3, 0, 1, 2);
    grid->addWidget(txtProfile_[3], 4, 0, 1, 2);
    panelLayout->addWidget(profileFields_);
    txtPreview_ = new QPlainTextEdit(panel);
    txtPreview_->setObjectName(QStringLiteral("txtPreview_0"));
    txtPreview_->setReadOnly(true);
    txtPreview_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StylePreviewBox(txtPreview_);
    panelLayout->addWidget(txtPreview_, 1);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);

    arrangeProfilePanel(false);
}

void BrowseTab::StylePreviewBox(QPlainTextEdit *box)
{
    QFont font(QString::fromLatin1(kPreviewFontFamily));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(kPreviewFontPoints);
    box->setFont(font);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) *
                            kPreviewTabColumns);
}

void BrowseTab::bind(BrowseTree &tree, ProfileBoxes &profile)
{
    tvUsers_->setModel(&tree.tvUsers);
    tvUsers_->setSelectionModel(&tree.tvUsersSelection);
    for (int i = 0; i < ProfileBoxes::Count; ++i)
        showProfileText(i, profile.Text(i));
    connect(&profile, &ProfileBoxes::textChanged, this, &BrowseTab::showProfileText);

    // Folding follows the model both ways; a node opened before its children arrived
    // opens when they come.
    connect(
        &tree, &BrowseTree::expansionRequested, tvUsers_,
        [this](const QModelIndex &node, bool expanded) { tvUsers_->setExpanded(node, expanded); });
    connect(tvUsers_, &QTreeView::expanded, &tree,
            [&tree](const QModelIndex &node) { tree.NoteExpanded(node, true); });
    connect(tvUsers_, &QTreeView::collapsed, &tree,
            [&tree](const QModelIndex &node) { tree.NoteExpanded(node, false); });
    connect(&tree.tvUsers, &QAbstractItemModel::rowsInserted, tvUsers_,
            [this, &tree](const QModelIndex &parent) {
                if (parent.isValid() && tree.IsExpanded(parent))
                    tvUsers_->setExpanded(parent, true);
            });
}

void BrowseTab::bind(Session &session)
{
    bind(session.tree, session.profile);
    Browser &browser = session.browser;
    StorageBox &storage = session.storage;

    auto *view = static_cast<UsersTreeView *>(tvUsers_);
    view->nodeClick = [&browser](const QModelIndex &node) { browser.tvUsers_NodeClick(node); };
    view->keyDown = [&browser](int key) { return browser.tvUsers_KeyDown(key); };
    view->mouseDown = [&browser](int button) { browser.tvUsers_MouseDown(button); };
    view->mouseUp = [&browser](int button) { browser.tvUsers_MouseUp(button); };
    browser.PopupBrowseMenu = [this] {
        if (browseMenu_)
            browseMenu_->exec(QCursor::pos());
    };
    for (int i = 0; i < 4; ++i)
        if (auto *b = findChild<QPushButton *>(QStringLiteral("cmdNodes_%1").arg(i)))
            connect(b, &QPushButton::clicked, &browser,
                    [&browser, i] { browser.cmdNodes_Click(i); });
    connect(&browser, &Browser::profilePanelArranged, this, &BrowseTab::arrangeProfilePanel);
    // The placement that the GETALLPROFILEDATA setting gives, from the start.
    browser.ArrangeProfilePanel();

    auto showPreview = [this](int box, const QString &text) {
        if (box != 0)
            return;
        // The model keeps CR LF; the box breaks lines at LF.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        txtPreview_->setPlainText(shown);
    };
    showPreview(0, storage.PreviewText(0));
    connect(&storage, &StorageBox::previewTextChanged, this, showPreview);
    if (browseMenu_) {
        auto action = [this](const char *name) {
            return browseMenu_->findChild<QAction *>(QString::fromLatin1(name));
        };
        if (QAction *a = action("mnuReset"))
            connect(a, &QAction::triggered, &browser, &Browser::mnuReset_Click);
        if (QAction *a = action("mnuNodeDel"))
            connect(a, &QAction::triggered, &browser, &Browser::mnuNodeDel_Click);
        if (QAction *a = action("mnuRefreshNode"))
            connect(a, &QAction::triggered, &browser, &Browser::mnuRefreshNode_Click);
        if (QAction *a = action("mnuSubNodeDel")) {
            connect(a, &QAction::triggered, &browser, &Browser::mnuSubNodeDel_Click);
            a->setEnabled(browser.SubNodeDelEnabled());
            connect(&browser, &Browser::subNodeDelEnabledChanged, a, &QAction::setEnabled);
        }
    }
}

void BrowseTab::arrangeProfilePanel(bool shown)
{
    // Shown: the preview sits below the member panel. Otherwise it covers the
    // panel's text boxes and the label above it names it.
    lblProfile_[0]->setText(shown ? QStringLiteral("Selected User") : QStringLiteral("Preview"));
    lblProfile_[1]->setVisible(shown);
    profileFields_->setVisible(shown);
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
