#include "chat/ChatRooms.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "chat/FrameSafety.h"
#include "chat/TextFilter.h"
#include "protocol/Protocol.h"
#include "wire/Payloads.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>

namespace zestrel
{

namespace
{
QColor FromBgr(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0;
} // namespace

ChatRooms::ChatRooms(AppState &app, Connection &connection, QObject *parent)
    : QObject(parent), app_(app), connection_(connection)
{
    rtbChat.setUndoRedoEnabled(false);
}

void ChatRooms::Register(Dispatcher &dispatcher)
{
    dispatcher.Register(protocol::code::ChatLineRelay,
                        [this](const QString &, const QString &p) { ShowChatLine(p); });
    dispatcher.Register(protocol::code::RoomList,
                        [this](const QString &, const QString &p) { ProcessRoomList(p); });
}

qint64 ChatRooms::settingNumber(const char *key, qint64 fallback) const
{
    const QString text = app_.Setting(QString::fromLatin1(key));
    return text.isEmpty() ? fallback : qint64(NumericValueOf(text));
}

void ChatRooms::SetListIndex(int index)
{
    if (index < -1 || index >= cboChatRooms.rowCount())
        index = -1;
    listIndex_ = index;
    emit listIndexChanged(index);
    // The selection handler: a room other than the joined one resets the chat.
    if (index != CurrentRoom)
        ResetChatRoom();
}

void ChatRooms::SetSendText(const QString &text)
{
    if (sendText_ == text)
        return;
    sendText_ = text;
    emit sendTextChanged(text);
}

void ChatRooms::setButtons(bool inRoom)
{
    enabled_[cmdJoin] = !inRoom;
    enabled_[cmdLeave] = inRoom;
    enabled_[cmdSend] = inRoom;
    default_ = inRoom ? cmdSend : cmdJoin;
    emit buttonsChanged();
}

qsizetype ChatRooms::DisplayLength() const
{
    qsizetype length = 0;
    for (QTextBlock b = rtbChat.begin(); b.isValid(); b = b.next())
        length += CharCount(b.text()) + (b.next().isValid() ? 2 : 0);
    return length;
}

QString ChatRooms::DisplayText() const
{
    QStringList lines;
    for (QTextBlock b = rtbChat.begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines.join(kCrLf);
}

void ChatRooms::cmdSend_Click()
{
    const QString text = sendText_;
    // The filter runs on every press and may warn, whatever else holds.
    const bool clean = ScreenText(app_.prompter, text);
    if (clean && !TrimSpaces(text).isEmpty() && CurrentRoom != -1 &&
        CheckFraming(app_.prompter, text))
        SendChatLine(text);
    emit focusSendBoxRequested();
}

void ChatRooms::SendChatLine(const QString &text)
{
    const QString room =
        app_.IsMasterUser ? QString::number(MasterRoom) : QString::number(CurrentRoom);
    const wire::ChatLine line{app_.UserName, text,
                              QString::number(settingNumber("TEXTCOLOR", kBlack)), room};
    const QString payload = wire::Encode(line);
    // The relay drops a longer line without a word; the member is told and keeps the text.
    if (std::size_t(payload.toUtf8().size()) > protocol::kMaxLinePayloadBytes) {
        app_.prompter.MessageBox(
            QStringLiteral("The text was not sent: the Zestrel network carries at most %1 "
                           "bytes in one chat line.\r\n\r\nPlease shorten the text and send "
                           "it again.")
                .arg(protocol::kMaxLinePayloadBytes),
            QStringLiteral("Text not sent"), PromptIcon::Warning);
        return;
    }
    SetSendText(QString());
    connection_.SendMessage(protocol::code::ChatLine, app_.MyUserKey, app_.Net.ServerAddress,
                            payload);
}

void ChatRooms::ShowChatLine(const QString &payload)
{
    const std::optional<wire::ChatLine> line = wire::DecodeChatLine(payload);
    if (!line)
        return;
    const qint64 room = LeadingNumber(line->room);
    if (room != MasterRoom && !app_.IsMasterUser && room != listIndex_)
        return;

    std::uint32_t colour = std::uint32_t(qint64(NumericValueOf(line->colour))) & 0xFFFFFF;
    if (line->sender == app_.UserName)
        colour = std::uint32_t(settingNumber("TEXTCOLOR", kBlack)) & 0xFFFFFF;
    else if (settingNumber("INCOMINGTEXT") != 0)
        colour = std::uint32_t(settingNumber("INCOMINGCOLOR", kBlack)) & 0xFFFFFF;
    else if (colour == BackColor)
        colour = BackColor == kBlack ? kWhite : kBlack;

    const int size = int(settingNumber("BASEFONTSIZE", 10) + 4);
    const QString font = QStringLiteral("Courier New");
    if (app_.IsMasterUser)
        AddLine(line->room + QLatin1Char(' '), font, size, false, false, false, colour);
    AddLine(QLatin1Char('[') + line->sender + QStringLiteral("]:  ") + line->text + kCrLf, font,
            size, false, false, false, colour);
    trimDisplay();
    emit lineShown();
    BlinkChatLight();
}

void ChatRooms::AddLine(const QString &NewText, const QString &TypeFont, int SizeFont,
                        bool BoldLine, bool ItalLine, bool UnderlineLine, std::uint32_t TextColor)
{
    QTextCursor cursor(&rtbChat);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setFontFamilies({TypeFont});
    format.setFontPointSize(SizeFont > 0 ? SizeFont : 1);
    format.setForeground(FromBgr(TextColor));
    format.setFontWeight(BoldLine ? QFont::Bold : QFont::Normal);
    format.setFontItalic(ItalLine);
    format.setFontUnderline(UnderlineLine);
    const QStringList pieces = (NewText.isEmpty() ? kCrLf : NewText).split(kCrLf);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), format);
        if (!pieces[i].isEmpty())
            cursor.insertText(pieces[i], format);
    }
}

void ChatRooms::trimDisplay()
{
    // Whole lines go from the top; a single line longer than the bound loses its
    // first characters instead.
    qsizetype length = DisplayLength();
    while (length > kMaxChatChars) {
        QTextCursor cursor(&rtbChat);
        cursor.movePosition(QTextCursor::Start);
        const QTextBlock first = rtbChat.begin();
        if (first.next().isValid()) {
            length -= CharCount(first.text()) + 2;
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        } else {
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            length -= CharCount(cursor.selectedText());
        }
        if (!cursor.hasSelection())
            break;
        cursor.removeSelectedText();
    }
}

void ChatRooms::BlinkChatLight()
{
    // A single-shot switch-off instead of a nested half-second wait: 500 lines a
    // second must not stack event loops.
    connection_.lights.TurnOn(ActivityLights::Chat, ActivityLights::Yellow);
    connection_.lights.TurnOffLater(ActivityLights::Chat, 500);
}

void ChatRooms::EnterRoom()
{
    // Joining with no room selected would show a joined room that cannot send.
    if (listIndex_ < 0)
        return;
    const QString kept = sendText_;
    setButtons(true);
    emit focusSendBoxRequested();
    CurrentRoom = listIndex_;
    SendChatLine(EnteredText());
    LetEventsRun();
    SetSendText(kept);
}

void ChatRooms::LeaveRoom()
{
    leaveRoom(true);
}

void ChatRooms::leaveRoom(bool keepText)
{
    const QString kept = sendText_;
    setButtons(false);
    SendChatLine(LeftText());
    CurrentRoom = -1;
    if (keepText) {
        LetEventsRun();
        SetSendText(kept);
    }
}

void ChatRooms::ResetChatRoom()
{
    if (CurrentRoom != -1)
        leaveRoom(false);
    rtbChat.clear();
}

void ChatRooms::cmdClear_Click()
{
    rtbChat.clear();
    emit focusSendBoxRequested();
}

void ChatRooms::RequestRoomList()
{
    if (app_.IsMasterUser) {
        cboChatRooms.setStringList(cboChatRooms.stringList() << MasterRoomName());
        SetListIndex(0);
        return;
    }
    connection_.SendMessage(protocol::code::RequestRooms, app_.MyUserKey, QString(), QString());
}

void ChatRooms::ProcessRoomList(const QString &payload)
{
    // Appended, not replacing: the list is emptied only by a reset of the connection.
    cboChatRooms.setStringList(cboChatRooms.stringList() << wire::DecodeRoomList(payload));
    SetListIndex(0);
}

void ChatRooms::ApplyDisplaySettings()
{
    BackColor = std::uint32_t(settingNumber("BACKCOLOR", kWhite)) & 0xFFFFFF;
    TextColor = std::uint32_t(settingNumber("TEXTCOLOR", kBlack)) & 0xFFFFFF;
    const qint64 base = settingNumber("BASEFONTSIZE", 10);
    SendFontSize = int(base + 2);
    if (appliedBaseFontSize_ != base) {
        appliedBaseFontSize_ = base;
        rtbChat.clear();
    }
    emit displaySettingsChanged();
}

void ChatRooms::TabShown()
{
    emit focusButtonRequested(CurrentRoom == -1 ? cmdJoin : cmdSend);
    emit focusSendBoxRequested();
    if (cboChatRooms.rowCount() == 0)
        RequestRoomList();
}

void ChatRooms::ClearViews()
{
    cboChatRooms.setStringList({});
    listIndex_ = -1;
    emit listIndexChanged(-1);
    rtbChat.clear();
}

} // namespace zestrel
