// The chat rooms of the Chat tab as a model: the room list
// `cboChatRooms`, the chat display `rtbChat` (a QTextDocument), the send box
// `txtSend`, the buttons' states, joining, leaving, sending and showing lines.
#pragma once

#include "app/AppState.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"

#include <QObject>
#include <QStringListModel>
#include <QTextDocument>
#include <cstdint>
#include <optional>

namespace zestrel
{

class ChatRooms : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString txtSend READ SendText WRITE SetSendText NOTIFY sendTextChanged)
  public:
    // The chat display keeps at most this many characters, CR LF counted as two.
    static constexpr qsizetype kMaxChatChars = 5000;
    static constexpr int MasterRoom = -999;
    enum Button { cmdJoin, cmdLeave, cmdSend, cmdClear };

    ChatRooms(AppState &app, Connection &connection, QObject *parent = nullptr);

    static QString EnteredText() { return QStringLiteral("<HAS ENTERED THE ROOM>"); }
    static QString LeftText() { return QStringLiteral("<HAS LEFT THE ROOM>"); }
    static QString MasterRoomName() { return QStringLiteral("All Users, All Rooms"); }

    QStringListModel cboChatRooms;
    QTextDocument rtbChat;
    int CurrentRoom = -1;

    // Registers 103 (ShowChatLine) and 116 (ProcessRoomList).
    void Register(Dispatcher &dispatcher);

    // The selected position of the room list (-1 for none). Setting it raises the
    // selection handler, as a click in the list does.
    int ListIndex() const { return listIndex_; }
    void SetListIndex(int index);

    QString SendText() const { return sendText_; }
    void SetSendText(const QString &text);

    bool Enabled(Button button) const { return enabled_[button]; }
    // The button Enter presses: cmdSend in a room, cmdJoin otherwise.
    Button DefaultButton() const { return default_; }

    // The display's back colour and the text colour of the list and send box
    // (0x00BBGGRR), and the send box's font size, as last applied.
    std::uint32_t BackColor = 16777215;
    std::uint32_t TextColor = 0;
    int SendFontSize = 12;
    // The display's text length as the rules count it (CR LF is two characters).
    qsizetype DisplayLength() const;
    // The display's text with CR LF between lines.
    QString DisplayText() const;

    void cmdSend_Click();
    void SendChatLine(const QString &text);
    void ShowChatLine(const QString &payload);
    void ProcessRoomList(const QString &payload);
    void RequestRoomList();
    void EnterRoom();
    void LeaveRoom();
    void ResetChatRoom();
    void cmdClear_Click();
    void AddLine(const QString &NewText, const QString &TypeFont, int SizeFont, bool BoldLine,
                 bool ItalLine, bool UnderlineLine, std::uint32_t TextColor);
    void BlinkChatLight();
    // The chat part of ApplyDisplaySettings and ApplyFontSize.
    void ApplyDisplaySettings();
    // The Chat tab was shown.
    void TabShown();
    // A reset of the connection: room list and display are emptied.
    void ClearViews();

  signals:
    void listIndexChanged(int index);
    void sendTextChanged(const QString &text);
    void buttonsChanged();
    void displaySettingsChanged();
    // A line was appended: the view puts the caret at the end.
    void lineShown();
    // Focus requests for the view.
    void focusSendBoxRequested();
    void focusButtonRequested(zestrel::ChatRooms::Button button);

  private:
    void setButtons(bool inRoom);
    void leaveRoom(bool keepText);
    void trimDisplay();
    qint64 settingNumber(const char *key, qint64 fallback = 0) const;

    AppState &app_;
    Connection &connection_;
    int listIndex_ = -1;
    QString sendText_;
    bool enabled_[4] = {true, false, false, true};
    Button default_ = cmdJoin;
    std::optional<qint64> appliedBaseFontSize_;
};

} // namespace zestrel
