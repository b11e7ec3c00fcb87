// The "Search for Recipes" tab: `txtData_0..2` with their labels, `cmdSearch`, the
// result list `lvwResults` (its "IP" column hidden) and the preview `txtPreview_1`.
// A view only; the search model drives it.
#pragma once

#include <QWidget>
#include <array>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace zestrel
{

class SearchModel;

class SearchTab : public QWidget
{
    Q_OBJECT
  public:
    explicit SearchTab(QWidget *parent = nullptr);

    // Shows the model, now and on every change, and passes the member's actions to it.
    void bind(SearchModel &model);

    QTreeView *results() const { return lvwResults_; }

    // The tab was picked: `cmdSearch` becomes the default button, then the title
    // field takes the focus.
    void tabShown();
    void setSearchDefault(bool on);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    SearchModel *model_ = nullptr;
    std::array<QLineEdit *, 3> txtData_{};
    QPushButton *cmdSearch_;
    QTreeView *lvwResults_;
    QPlainTextEdit *txtPreview_;
};

} // namespace zestrel
