// The "Chat" tab: the room list `cboChatRooms` with `lblMisc_4`, the chat display
// `rtbChat` (a read-only view of the model's QTextDocument), the send box `txtSend`
// and the buttons `cmdJoin`, `cmdLeave`, `cmdSend`, `cmdClear`. A view only; the
// chat rooms model drives it.
#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace zestrel
{

class ChatRooms;

class ChatTab : public QWidget
{
    Q_OBJECT
  public:
    explicit ChatTab(QWidget *parent = nullptr);

    // Shows the model, now and on every change, and passes the member's actions to it.
    void bind(ChatRooms &model);
    // The tab was picked: outside a room `cmdJoin` is enabled, default and focused,
    // inside one `cmdSend`; then the send box has the focus and an empty room list
    // is asked for.
    void tabShown();

  private:
    void showButtons();
    void showDisplaySettings();
    QPushButton *button(int which) const;

    ChatRooms *model_ = nullptr;
    QComboBox *cboChatRooms_;
    QTextEdit *rtbChat_;
    QLineEdit *txtSend_;
    QPushButton *cmdJoin_, *cmdLeave_, *cmdSend_, *cmdClear_;
};

} // namespace zestrel
