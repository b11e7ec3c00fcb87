// The message center window: a view of one MessageCenter, created with it and
// gone with it.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zestrel
{

class MessageCenter;

class FrmMessage : public QWidget
{
    Q_OBJECT
  public:
    // The window deletes itself when `center` is destroyed.
    explicit FrmMessage(MessageCenter *center);

    MessageCenter *center() const { return center_; }

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void onChanged();
    void refresh();
    void setShown(bool visible);

    QPointer<MessageCenter> center_;
    QLabel *label1_;
    QPlainTextEdit *txtMessage_;
    QPushButton *cmdOK_;
    // A burst of messages redraws the text at most once per period.
    QTimer redraw_;
    bool redrawPending_ = false;
    QString drawn_; // the text txtMessage shows
};

} // namespace zestrel
