#include "ui/ChatTab.h"

#include "chat/ChatRooms.h"
#include "ui/Colors.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>

#include <limits>

namespace zestrel
{

ChatTab::ChatTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ChatTab"));
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("You are currently in Chat Room"), this);
    label->setObjectName(QStringLiteral("lblMisc_4"));
    cboChatRooms_ = new QComboBox(this);
    cboChatRooms_->setObjectName(QStringLiteral("cboChatRooms"));
    cboChatRooms_->setEditable(false);
    cboChatRooms_->setMinimumContentsLength(20);
    auto makeButton = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdJoin_ = makeButton("cmdJoin", "&Join");
    cmdLeave_ = makeButton("cmdLeave", "E&xit");
    cmdClear_ = makeButton("cmdClear", "&Clear");
    top->addWidget(label);
    top->addWidget(cboChatRooms_, 1);
    top->addWidget(cmdJoin_);
    top->addWidget(cmdLeave_);
    top->addWidget(cmdClear_);
    layout->addLayout(top);

    rtbChat_ = new QTextEdit(this);
    rtbChat_->setObjectName(QStringLiteral("rtbChat"));
    rtbChat_->setReadOnly(true);
    rtbChat_->setUndoRedoEnabled(false);
    layout->addWidget(rtbChat_, 1);

    auto *bottom = new QHBoxLayout;
    txtSend_ = new QLineEdit(this);
    txtSend_->setObjectName(QStringLiteral("txtSend"));
    // No silent cut at the line edit's default 32,767 characters: the send refuses what
    // the network cannot carry, with a notice.
    txtSend_->setMaxLength(std::numeric_limits<int>::max());
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    txtSend_->setFont(courier);
    cmdSend_ = makeButton("cmdSend", "&Send");
    bottom->addWidget(txtSend_, 1);
    bottom->addWidget(cmdSend_);
    layout->addLayout(bottom);
}

QPushButton *ChatTab::button(int which) const
{
    switch (which) {
    case ChatRooms::cmdJoin:
        return cmdJoin_;
    case ChatRooms::cmdLeave:
        return cmdLeave_;
    case ChatRooms::cmdSend:
        return cmdSend_;
    default:
        return cmdClear_;
    }
}

void ChatTab::bind(ChatRooms &model)
{
    model_ = &model;
    cboChatRooms_->setModel(&model.cboChatRooms);
    cboChatRooms_->setCurrentIndex(model.ListIndex());
    connect(cboChatRooms_, &QComboBox::activated, this,
            [this](int index) { model_->SetListIndex(index); });
    connect(&model, &ChatRooms::listIndexChanged, cboChatRooms_, [this](int index) {
        if (cboChatRooms_->currentIndex() != index)
            cboChatRooms_->setCurrentIndex(index);
    });

    rtbChat_->setDocument(&model.rtbChat);
    connect(&model, &ChatRooms::lineShown, rtbChat_, [this] {
        rtbChat_->moveCursor(QTextCursor::End);
        rtbChat_->verticalScrollBar()->setValue(rtbChat_->verticalScrollBar()->maximum());
    });

    txtSend_->setText(model.SendText());
    connect(txtSend_, &QLineEdit::textEdited, this,
            [this](const QString &text) { model_->SetSendText(text); });
    connect(&model, &ChatRooms::sendTextChanged, txtSend_, [this](const QString &text) {
        if (txtSend_->text() != text)
            txtSend_->setText(text);
    });
    // Enter in the send box presses cmdSend, also while it is disabled (the filter runs).
    connect(txtSend_, &QLineEdit::returnPressed, this, [this] { model_->cmdSend_Click(); });
    connect(cmdSend_, &QPushButton::clicked, this, [this] { model_->cmdSend_Click(); });
    connect(cmdJoin_, &QPushButton::clicked, this, [this] { model_->EnterRoom(); });
    connect(cmdLeave_, &QPushButton::clicked, this, [this] { model_->LeaveRoom(); });
    connect(cmdClear_, &QPushButton::clicked, this, [this] { model_->cmdClear_Click(); });

    connect(&model, &ChatRooms::buttonsChanged, this, &ChatTab::showButtons);
    connect(&model, &ChatRooms::displaySettingsChanged, this, &ChatTab::showDisplaySettings);
    connect(&model, &ChatRooms::focusSendBoxRequested, txtSend_, [this] { txtSend_->setFocus(); });
    connect(&model, &ChatRooms::focusButtonRequested, this,
            [this](ChatRooms::Button which) { button(which)->setFocus(); });
    showButtons();
    showDisplaySettings();
}

void ChatTab::tabShown()
{
    if (!model_)
        return;
    QPushButton *chosen = model_->CurrentRoom == -1 ? cmdJoin_ : cmdSend_;
    for (QPushButton *b : {cmdJoin_, cmdLeave_, cmdSend_, cmdClear_})
        b->setDefault(b == chosen);
    if (chosen == cmdJoin_)
        cmdJoin_->setEnabled(true);
    model_->TabShown();
}

void ChatTab::showButtons()
{
    for (int b = ChatRooms::cmdJoin; b <= ChatRooms::cmdClear; ++b) {
        button(b)->setEnabled(model_->Enabled(ChatRooms::Button(b)));
        button(b)->setDefault(model_->DefaultButton() == b);
    }
}

void ChatTab::showDisplaySettings()
{
    const QColor back = BgrToQColor(model_->BackColor);
    const QColor text = BgrToQColor(model_->TextColor);
    for (QWidget *w : {static_cast<QWidget *>(cboChatRooms_), static_cast<QWidget *>(txtSend_)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, back);
        p.setColor(QPalette::Button, back);
        p.setColor(QPalette::Text, text);
        p.setColor(QPalette::ButtonText, text);
        w->setPalette(p);
    }
    QPalette p = rtbChat_->palette();
    p.setColor(QPalette::Base, back);
    rtbChat_->setPalette(p);
    QFont f = txtSend_->font();
    f.setPointSize(model_->SendFontSize > 0 ? model_->SendFontSize : 12);
    txtSend_->setFont(f);
}

} // namespace zestrel
