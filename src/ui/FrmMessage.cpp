#include "ui/FrmMessage.h"

#include "app/Diagnostics.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zestrel
{

FrmMessage::FrmMessage(MessageCenter *center) : center_(center)
{
    setObjectName(QStringLiteral("frmMessage"));
    setAttribute(Qt::WA_QuitOnClose, false);

    label1_ = new QLabel(QStringLiteral("Zestrel Message Center"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    QFont heading = label1_->font();
    heading.setBold(true);
    label1_->setFont(heading);

    txtMessage_ = new QPlainTextEdit(this);
    txtMessage_->setObjectName(QStringLiteral("txtMessage"));
    txtMessage_->setReadOnly(true);

    cmdOK_ = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(txtMessage_, 1);
    layout->addLayout(buttons);
    resize(420, 300);

    connect(cmdOK_, &QPushButton::clicked, this, [this] {
        if (center_)
            center_->ClearAndHide();
    });
    redraw_.setSingleShot(true);
    redraw_.setInterval(100);
    connect(&redraw_, &QTimer::timeout, this, [this] {
        if (redrawPending_) {
            refresh();
            redraw_.start();
        }
    });
    connect(center, &MessageCenter::changed, this, &FrmMessage::onChanged);
    connect(center, &MessageCenter::visibilityChanged, this, &FrmMessage::setShown);
    // Unloading the center unloads its window, at once: the center goes by a deferred
    // delete or with the program, and a window left for later could outlive the loop.
    connect(center, &QObject::destroyed, this, [this] { delete this; });
    refresh();
    setShown(center->Visible);
}

void FrmMessage::onChanged()
{
    if (!center_)
        return;
    setWindowTitle(center_->Title);
    if (center_->Message() == drawn_)
        return;
    // Drawing the whole text costs as much as the text is long, and other members can
    // send many messages in a row: the first change shows at once, later ones within
    // the period are drawn together when it ends. Clearing (OK) is cheap and shows at once.
    if (redraw_.isActive() && !center_->Message().isEmpty()) {
        redrawPending_ = true;
        return;
    }
    refresh();
    redraw_.start();
}

void FrmMessage::refresh()
{
    redrawPending_ = false;
    if (!center_)
        return;
    setWindowTitle(center_->Title);
    drawn_ = center_->Message();
    // Newest message is on top, so keep the view at the top.
    txtMessage_->setPlainText(drawn_);
    txtMessage_->moveCursor(QTextCursor::Start);
}

void FrmMessage::setShown(bool visible)
{
    if (visible) {
        show();
        raise();
    } else {
        hide();
    }
}

void FrmMessage::closeEvent(QCloseEvent *event)
{
    // The close box only hides the window; its messages wait for OK.
    if (center_)
        center_->WindowClosed();
    event->accept();
}

} // namespace zestrel
