// The main window's fixed parts: tabs, lights, status line, the lights' legend.
#include "support/FakePrompter.h"
#include "ui/Application.h"
#include "ui/Colors.h"
#include "ui/GuiPrompter.h"
#include "ui/MainWindow.h"

#include <QFrame>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;

class TestMainWindow : public QObject
{
    Q_OBJECT
  private slots:
    void tabsInOrder();
    void statusLineFollowsModel();
    void lights_data();
    void lights();
    void lightsStandSendingReceivingChat();
    void legendShowsActivityLights();
    void colourConversion_data();
    void colourConversion();
    void nameFilter_data();
    void nameFilter();
};

void TestMainWindow::tabsInOrder()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QStringLiteral("frmZESTREL"));
    QCOMPARE(w.tabs()->objectName(), QStringLiteral("tabZESTREL"));
    QStringList captions;
    for (int i = 0; i < w.tabs()->count(); ++i)
        captions << w.tabs()->tabText(i);
    QCOMPARE(captions, (QStringList{"Browse for Recipes", "Search for Recipes", "Chat", "News"}));
    QCOMPARE(w.page(MainWindow::NewsTab), w.tabs()->widget(3));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblMisc_1"))->text(), QStringLiteral("Status:"));
}

void TestMainWindow::statusLineFollowsModel()
{
    MainWindow w;
    StatusLine status;
    status.setTextQuietly(QStringLiteral("before"));
    w.bindStatus(status);
    auto *label = w.findChild<QLabel *>(QStringLiteral("lblStatus"));
    QCOMPARE(label->text(), QStringLiteral("before"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    status.SetStatus(QStringLiteral("Error #5\r\n    <b>x</b>\r\n"));
    QTRY_COMPARE(label->text(), QStringLiteral("Error #5\n    <b>x</b>\n"));
    status.IdleTick();
    status.IdleTick();
    QTRY_COMPARE(label->text(), QStringLiteral("Zestrel is idle..."));
}

void TestMainWindow::lights_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("bgr");
    QTest::addColumn<QColor>("shown");
    QTest::newRow("receive red") << 0 << 255u << QColor(255, 0, 0);
    QTest::newRow("send green") << 1 << 65280u << QColor(0, 255, 0);
    QTest::newRow("chat yellow") << 2 << 0x00FFFFu << QColor(255, 255, 0);
    QTest::newRow("blue high byte") << 0 << 0xFF0000u << QColor(0, 0, 255);
    QTest::newRow("white") << 2 << 0xFFFFFFu << QColor(255, 255, 255);
}

void TestMainWindow::lights()
{
    QFETCH(int, index);
    QFETCH(uint, bgr);
    QFETCH(QColor, shown);

    MainWindow w;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(w.activityLight(i), MainWindow::kIdleLight);
    w.setActivityLight(index, bgr);
    QCOMPARE(w.activityLight(index), std::uint32_t(bgr));
    auto *light = w.findChild<QFrame *>(QStringLiteral("shpActivity_%1").arg(index));
    QVERIFY(light);
    QCOMPARE(light->palette().color(QPalette::Window), shown);
    // Out-of-range lights are ignored.
    w.setActivityLight(3, 255);
    w.setActivityLight(-1, 255);
}

void TestMainWindow::lightsStandSendingReceivingChat()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto x = [&](const char *name) {
        return w.findChild<QWidget *>(QString::fromLatin1(name))->mapTo(&w, QPoint(0, 0)).x();
    };
    QVERIFY(x("shpActivity_1") < x("shpActivity_0"));
    QVERIFY(x("shpActivity_0") < x("shpActivity_2"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblActivity_1"))->text(), QStringLiteral("S"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblActivity_0"))->text(), QStringLiteral("R"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblActivity_2"))->text(), QStringLiteral("C"));
}

void TestMainWindow::legendShowsActivityLights()
{
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("zestrel.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[PROFILE]\r\nUSERNAME=alice\r\n");
    ini.close();
    test::FakePrompter prompter;
    Application app(dir.path(), &prompter);
    QVERIFY(app.StartUp());
    QTest::mouseClick(app.mainWindow()->findChild<QLabel *>(QStringLiteral("lblActivity_2")),
                      Qt::LeftButton);
    MessageCenter *center = app.diag().messageCenter();
    QVERIFY(center);
    QCOMPARE(center->Title, QStringLiteral("Activity Lights"));
    // Newest on top (the start-up's missing-database notice lies below).
    QVERIFY2(center->Message().startsWith(QStringLiteral(
                 "The three colored blinking lights located at the bottom of the "
                 "Zestrel screen are the Zestrel activity lights.\r\n\r\nS (Green) -> "
                 "Sending\r\nR (Red) -> Receiving\r\nC (Yellow) -> Chat room "
                 "activity")),
             qPrintable(center->Message()));
    QVERIFY(center->Visible);
}

void TestMainWindow::colourConversion_data()
{
    QTest::addColumn<uint>("bgr");
    QTest::addColumn<QColor>("color");
    QTest::newRow("red") << 255u << QColor(255, 0, 0);
    QTest::newRow("green") << 65280u << QColor(0, 255, 0);
    QTest::newRow("blue") << 16711680u << QColor(0, 0, 255);
    QTest::newRow("white") << 16777215u << QColor(255, 255, 255);
    QTest::newRow("mixed") << 0x123456u << QColor(0x56, 0x34, 0x12);
}

void TestMainWindow::colourConversion()
{
    QFETCH(uint, bgr);
    QFETCH(QColor, color);
    QCOMPARE(BgrToQColor(bgr), color);
    QCOMPARE(QColorToBgr(color), std::uint32_t(bgr));
    // Only the low 24 bits carry colour.
    QCOMPARE(BgrToQColor(bgr | 0xFF000000u), color);
    QCOMPARE(QColorToBgr(color.toHsv()), std::uint32_t(bgr));
}

void TestMainWindow::nameFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("one entry") << "Cookbook.ini|Cookbook.ini"
                               << "Cookbook.ini (Cookbook.ini)";
    QTest::newRow("two entries") << "Ini|*.ini|All|*.*"
                                 << "Ini (*.ini);;All (*.*)";
    QTest::newRow("qt form") << "Images (*.png)"
                             << "Images (*.png)";
}

void TestMainWindow::nameFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(QtNameFilter(filter), qt);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
