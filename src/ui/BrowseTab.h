// The "Browse for Recipes" tab: the tree `tvUsers`, the folding buttons
// `cmdNodes_0..3`, the selected-member panel (`lblProfile_0..2`, `txtProfile_0..3`),
// and the preview box `txtPreview_0`. A view only: the session's models drive it and
// its events go to the Browser and the StorageBox's preview.
#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace zestrel
{

class BrowseTree;
class ProfileBoxes;
class Session;

class BrowseTab : public QWidget
{
    Q_OBJECT
  public:
    explicit BrowseTab(QWidget *parent = nullptr);

    // Shows the tree and the profile, now and on every change.
    void bind(BrowseTree &tree, ProfileBoxes &profile);
    // The whole tab: tree events, preview, folding buttons, the "&Browse" menu.
    void bind(Session &session);
    // The "&Browse" menu, popped up as the tree's context menu.
    void setBrowseMenu(QMenu *menu) { browseMenu_ = menu; }

    QTreeView *tree() const { return tvUsers_; }
    QPlainTextEdit *preview() const { return txtPreview_; }

    // The preview boxes' font and tab stops (the search tab's box uses them too).
    static void StylePreviewBox(QPlainTextEdit *box);

  private:
    void showProfileText(int index, const QString &text);
    void arrangeProfilePanel(bool shown);

    QTreeView *tvUsers_;
    std::array<QWidget *, 4> txtProfile_{};
    std::array<QLabel *, 3> lblProfile_{};
    QWidget *profileFields_;
    QPlainTextEdit *txtPreview_;
    QMenu *browseMenu_ = nullptr;
};

} // namespace zestrel
