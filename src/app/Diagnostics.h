// The three channels that tell the member and the developer what is going on:
// the status line, the message center and the log file.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace zestrel
{

// The main window's status line (`lblStatus`) as a model the window shows.
//
// Every received message sets it several times. Letting events run for each text
// (to draw it at once) nested an event loop per message and made a burst of
// messages cost a repaint each; instead the texts of one turn of the event loop are
// shown once, the last one, when control gets back to the loop.
class StatusLine : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
  public:
    explicit StatusLine(QObject *parent = nullptr);

    QString text() const { return text_; }
    // Sets the text; the window shows it at the end of the current turn.
    void SetStatus(const QString &text);
    // The same (kept for callers that say they must not let events run).
    void setTextQuietly(const QString &text);
    // How many texts were set, and how many times the window was asked to show one.
    qint64 SetCount() const { return sets_; }
    qint64 ShownCount() const { return showns_; }

    // Idle rule: a text unchanged since the previous tick becomes "Zestrel is idle...".
    void IdleTick();
    QString LastStatus;

  signals:
    // Every change of the text, as it happens (cheap; for models and tests).
    void textChanged(const QString &text);
    // At most once per turn of the event loop: the text to draw now.
    void shown(const QString &text);

  private:
    void showNow();

    QString text_;
    QTimer repaint_;
    qint64 sets_ = 0, showns_ = 0;
};

// The message center keeps at most this many characters of text. Other members can make
// it show messages (search and recipe notices), so without a bound a flood would grow the
// text, and the work of every further message, without end. The oldest messages go first.
inline constexpr qsizetype kMaxMessageCenterChars = 256 * 1024;

// The message center (`frmMessage`) as a model; the window binds to it.
class MessageCenter : public QObject
{
    Q_OBJECT
  public:
    using QObject::QObject;

    QString Title = QStringLiteral("Message");
    QString Message() const { return text_; }
    // Adds one message on top of the others; the oldest go when the text grows over
    // kMaxMessageCenterChars (MessageCount still counts them).
    void AddMessage(const QString &message);
    qint64 MessageCount = 0;
    bool Shown = false;
    bool Visible = false;

    void SetTitle(const QString &title);
    void Show();
    // What the OK button does: clears everything and hides the window.
    void ClearAndHide();
    // The window was closed by its close box: hidden, the messages stay for later.
    void WindowClosed();

  signals:
    void changed();
    void visibilityChanged(bool visible);

  private:
    QString text_;
};

// The error a failed log write reports.
inline constexpr qint64 kLogWriteError = 75;
inline constexpr const char *kLogWriteErrorText = "Path/File access error";

class Diagnostics : public QObject
{
    Q_OBJECT
  public:
    using QObject::QObject;

    StatusLine status;

    // The message center, or nullptr before first use and after CloseMessageCenter.
    MessageCenter *messageCenter() const { return center_; }
    // Called with each message center the moment it is created (the GUI attaches its window).
    std::function<void(MessageCenter *)> onMessageCenterCreated;

    void SetStatus(const QString &text) { status.SetStatus(text); }
    void ShowMessage(const QString &message, const QString &title);
    void ShowPendingMessages();
    // While set, ShowMessage only queues its message: start-up holds the message center
    // back until the member's name is settled, so never two windows ask at once.
    bool HoldMessages = false;
    void CloseMessageCenter();

    // Logging switch and file, from the network settings.
    bool LoggingEnabled = false;
    QString LogFilePath;
    // Appends one trimmed line with CR LF when logging is on; false when the write failed.
    bool WriteLog(const QString &text);
    bool WriteLog(const QString &path, const QString &text);
    // The same for bytes as they are (received data goes into the log exactly as read).
    bool WriteLogBytes(const QByteArray &text);

    // "Error #n\r\n    description\r\n    (Source: source)\r\n" on the status line.
    void ReportError(qint64 number, const QString &description, const QString &source);

  private:
    bool AppendLog(const QString &path, const QByteArray &text);
    MessageCenter *center_ = nullptr;
};

} // namespace zestrel
