// The message center window follows its model.
#include "app/Diagnostics.h"
#include "ui/FrmMessage.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace zestrel;

class TestMessageWindow : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void showsMessagesNewestFirst();
    void burstEndsShowingTheNewest();
    void okClearsAndHides();
    void closeBoxKeepsMessages();
    void closeMessageCenterUnloadsWindow();
    void windowGoesWithTheProgram();

  private:
    Diagnostics *diag = nullptr;
    QPointer<FrmMessage> window;
};

void TestMessageWindow::init()
{
    diag = new Diagnostics;
    diag->onMessageCenterCreated = [this](MessageCenter *c) { window = new FrmMessage(c); };
}

void TestMessageWindow::cleanup()
{
    delete window.data();
    delete diag;
}

void TestMessageWindow::showsMessagesNewestFirst()
{
    diag->ShowMessage(QStringLiteral("first"), QStringLiteral("Connection Lost"));
    QVERIFY(window);
    QCOMPARE(window->objectName(), QStringLiteral("frmMessage"));
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Connection Lost"));
    auto *label = window->findChild<QLabel *>(QStringLiteral("Label1"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Zestrel Message Center"));
    auto *text = window->findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"));
    QVERIFY(text);
    QVERIFY(text->isReadOnly());

    diag->ShowMessage(QStringLiteral("second"), QString());
    QTRY_COMPARE(text->toPlainText().split(QLatin1Char('\n')),
                 (QStringList{"second", "", QString(54, QLatin1Char('-')), "", "first"}));
    QCOMPARE(window->windowTitle(), QStringLiteral("Connection Lost"));
}

void TestMessageWindow::burstEndsShowingTheNewest()
{
    // A burst is drawn together; what the window ends up showing is the center's text.
    for (int i = 0; i < 300; ++i)
        diag->ShowMessage(QStringLiteral("message %1").arg(i), QStringLiteral("Burst %1").arg(i));
    auto *text = window->findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"));
    const QString expected =
        diag->messageCenter()->Message().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTRY_COMPARE(text->toPlainText(), expected);
    QVERIFY(text->toPlainText().startsWith(QStringLiteral("message 299\n")));
    QCOMPARE(window->windowTitle(), QStringLiteral("Burst 299"));
    QCOMPARE(text->textCursor().position(), 0);
}

void TestMessageWindow::okClearsAndHides()
{
    diag->ShowMessage(QStringLiteral("first"), QStringLiteral("Error"));
    auto *ok = window->findChild<QPushButton *>(QStringLiteral("cmdOK"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("&OK"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Zestrel Message Center"));
    QCOMPARE(window->findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"))->toPlainText(),
             QString());
    QVERIFY(diag->messageCenter()->Shown);

    // The same window comes back for the next message.
    FrmMessage *before = window;
    diag->ShowMessage(QStringLiteral("next"), QString());
    QCOMPARE(window.data(), before);
    QVERIFY(window->isVisible());
}

void TestMessageWindow::closeBoxKeepsMessages()
{
    diag->ShowMessage(QStringLiteral("first"), QStringLiteral("Error"));
    window->close();
    QVERIFY(!window->isVisible());
    QCOMPARE(diag->messageCenter()->Message(), QStringLiteral("first"));
    diag->ShowPendingMessages();
    QVERIFY(window->isVisible());
}

void TestMessageWindow::closeMessageCenterUnloadsWindow()
{
    diag->ShowMessage(QStringLiteral("first"), QString());
    diag->ShowMessage(QStringLiteral("second"), QString());
    diag->CloseMessageCenter();
    QVERIFY(window && window->isVisible());

    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    diag->CloseMessageCenter();
    QCOMPARE(diag->messageCenter(), nullptr);
    QTRY_VERIFY(window.isNull());
}

void TestMessageWindow::windowGoesWithTheProgram()
{
    // At exit no event loop runs any more: the window must go with its center.
    diag->ShowMessage(QStringLiteral("first"), QString());
    QVERIFY(window);
    delete diag;
    diag = nullptr;
    QVERIFY(window.isNull());
}

QTEST_MAIN(TestMessageWindow)
#include "tst_messagewindow.moc"
