#include "app/Diagnostics.h"

#include "app/Wait.h"

#include <QFile>

namespace zestrel
{

namespace
{
// Only spaces count as blank, as everywhere in this program's text rules.
bool blank(const QString &text)
{
    for (QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}
} // namespace

StatusLine::StatusLine(QObject *parent) : QObject(parent)
{
    repaint_.setSingleShot(true);
    repaint_.setInterval(0);
    connect(&repaint_, &QTimer::timeout, this, &StatusLine::showNow);
}

void StatusLine::SetStatus(const QString &text)
{
    setTextQuietly(text);
}

void StatusLine::setTextQuietly(const QString &text)
{
    ++sets_;
    if (text_ == text)
        return;
    text_ = text;
    emit textChanged(text_);
    if (!repaint_.isActive())
        repaint_.start();
}

void StatusLine::showNow()
{
    ++showns_;
    emit shown(text_);
}

void StatusLine::IdleTick()
{
    if (text_ == LastStatus)
        setTextQuietly(QStringLiteral("Zestrel is idle..."));
    LastStatus = text_;
}

void MessageCenter::AddMessage(const QString &message)
{
    static const QString separator =
        QStringLiteral("\r\n\r\n") + QString(54, QLatin1Char('-')) + QStringLiteral("\r\n\r\n");
    ++MessageCount;
    if (text_.isEmpty())
        text_ = message;
    else
        text_ = message + separator + text_;
    while (text_.size() > kMaxMessageCenterChars) {
        const qsizetype oldest = text_.lastIndexOf(separator);
        if (oldest < 0) {
            // One message alone is over the bound: keep its beginning, whole characters.
            qsizetype keep = kMaxMessageCenterChars;
            if (text_.at(keep - 1).isHighSurrogate())
                --keep;
            text_.truncate(keep);
            break;
        }
        text_.truncate(oldest);
    }
    Shown = false;
    emit changed();
}

void MessageCenter::SetTitle(const QString &title)
{
    Title = title;
    Shown = false;
    emit changed();
}

void MessageCenter::Show()
{
    Visible = true;
    emit visibilityChanged(true);
}

void MessageCenter::WindowClosed()
{
    if (!Visible)
        return;
    Visible = false;
    emit visibilityChanged(false);
}

void MessageCenter::ClearAndHide()
{
    text_.clear();
    Title = QStringLiteral("Zestrel Message Center");
    MessageCount = 0;
    Visible = false;
    Shown = true;
    emit changed();
    emit visibilityChanged(false);
}

void Diagnostics::ShowMessage(const QString &message, const QString &title)
{
    if (!center_) {
        center_ = new MessageCenter(this);
        if (onMessageCenterCreated)
            onMessageCenterCreated(center_);
    }
    if (!blank(message))
        center_->AddMessage(message);
    if (!blank(title))
        center_->SetTitle(title);
    if (!HoldMessages)
        center_->Show();
}

void Diagnostics::ShowPendingMessages()
{
    if (center_ && !center_->Message().isEmpty() && !center_->Shown)
        center_->Show();
}

void Diagnostics::CloseMessageCenter()
{
    if (center_ && center_->MessageCount <= 1) {
        center_->Visible = false;
        emit center_->visibilityChanged(false);
        center_->deleteLater();
        center_ = nullptr;
    }
}

bool Diagnostics::WriteLog(const QString &text)
{
    return WriteLog(LogFilePath, text);
}

bool Diagnostics::WriteLog(const QString &path, const QString &text)
{
    return AppendLog(path, text.toUtf8());
}

bool Diagnostics::WriteLogBytes(const QByteArray &text)
{
    return AppendLog(LogFilePath, text);
}

bool Diagnostics::AppendLog(const QString &path, const QByteArray &text)
{
    if (!LoggingEnabled)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    // Spaces only, as the log trims; control characters inside stay as they are.
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    const QByteArray line = text.mid(b, e - b) + "\r\n";
    // A full disk may only show at the flush, so check that too.
    return file.write(line) == line.size() && file.flush();
}

void Diagnostics::ReportError(qint64 number, const QString &description, const QString &source)
{
    // Plain concatenation: a description holding "%1" must reach the status line unchanged.
    status.SetStatus(QStringLiteral("Error #") + QString::number(number) +
                     QStringLiteral("\r\n    ") + description +
                     QStringLiteral("\r\n    (Source: ") + source + QStringLiteral(")\r\n"));
}

} // namespace zestrel
