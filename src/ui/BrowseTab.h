// The "Browse for Recipes" tab: the tree `tvUsers` and the profile boxes
// `txtProfile_0..3`. A view only; the browse tree and profile models drive it.
#pragma once

#include <QWidget>
#include <array>

class QTreeView;

namespace zestrel
{

class BrowseTree;
class ProfileBoxes;

class BrowseTab : public QWidget
{
    Q_OBJECT
  public:
    explicit BrowseTab(QWidget *parent = nullptr);

    // Shows the tree and the profile, now and on every change.
    void bind(BrowseTree &tree, ProfileBoxes &profile);

    QTreeView *tree() const { return tvUsers_; }

  private:
    void showProfileText(int index, const QString &text);

    QTreeView *tvUsers_;
    std::array<QWidget *, 4> txtProfile_{};
};

} // namespace zestrel
