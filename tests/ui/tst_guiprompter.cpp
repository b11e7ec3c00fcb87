// The real prompter's dialogs, answered by the test as a member would.
#include "ui/GuiPrompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace zestrel;

namespace
{
// Runs `answer` on the modal dialog once it is up.
template <class Dialog> void whenShown(std::function<void(Dialog *)> answer)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            // Deleted only after the answer: an answer that waits (qWaitFor) delivers
            // deferred deletes, which would free this slot while it still runs.
            answer(dialog);
            poll->deleteLater();
        }
    });
    poll->start();
}
} // namespace

class TestGuiPrompter : public QObject
{
    Q_OBJECT
  private slots:
    void messageBox_data();
    void messageBox();
    void inputBox_data();
    void inputBox();
    void chooseColor_data();
    void chooseColor();
    void chooseFileIgnoresCase();
};

void TestGuiPrompter::messageBox_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("click"); // QMessageBox::StandardButton
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("qtIcon");

    QTest::newRow("info ok") << int(PromptIcon::Information) << int(PromptButtons::Ok)
                             << int(QMessageBox::Ok) << int(PromptAnswer::Ok)
                             << int(QMessageBox::Information);
    QTest::newRow("question yes") << int(PromptIcon::Question) << int(PromptButtons::YesNo)
                                  << int(QMessageBox::Yes) << int(PromptAnswer::Yes)
                                  << int(QMessageBox::Question);
    QTest::newRow("question no") << int(PromptIcon::Question) << int(PromptButtons::YesNo)
                                 << int(QMessageBox::No) << int(PromptAnswer::No)
                                 << int(QMessageBox::Question);
    QTest::newRow("error") << int(PromptIcon::Error) << int(PromptButtons::Ok)
                           << int(QMessageBox::Ok) << int(PromptAnswer::Ok)
                           << int(QMessageBox::Critical);
}

void TestGuiPrompter::messageBox()
{
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, click);
    QFETCH(int, answer);
    QFETCH(int, qtIcon);

    GuiPrompter prompter;
    QString title, text;
    int shownIcon = -1;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        shownIcon = int(box->icon());
        box->button(QMessageBox::StandardButton(click))->click();
    });
    const PromptAnswer got = prompter.MessageBox(
        QStringLiteral("Only one version\r\n\r\nof Zestrel"), QStringLiteral("Zestrel running"),
        PromptIcon(icon), PromptButtons(buttons));
    QCOMPARE(int(got), answer);
    QCOMPARE(title, QStringLiteral("Zestrel running"));
    QCOMPARE(text, QStringLiteral("Only one version\r\n\r\nof Zestrel"));
    QCOMPARE(shownIcon, qtIcon);
}

void TestGuiPrompter::inputBox_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("echo");   // PromptEcho
    QTest::addColumn<int>("qtEcho"); // QLineEdit::EchoMode shown
    QTest::addColumn<QString>("expected");
    QTest::newRow("typed") << true << int(PromptEcho::Normal) << int(QLineEdit::Normal) << "alice";
    QTest::newRow("cancel") << false << int(PromptEcho::Normal) << int(QLineEdit::Normal)
                            << QString();
    QTest::newRow("password hidden")
        << true << int(PromptEcho::Password) << int(QLineEdit::Password) << "alice";
}

void TestGuiPrompter::inputBox()
{
    QFETCH(bool, accept);
    QFETCH(int, echo);
    QFETCH(int, qtEcho);
    QFETCH(QString, expected);
    GuiPrompter prompter;
    QString shownDefault;
    int shownEcho = -1;
    whenShown<QInputDialog>([&](QInputDialog *d) {
        shownDefault = d->textValue();
        shownEcho = int(d->textEchoMode());
        d->setTextValue(QStringLiteral("alice"));
        accept ? d->accept() : d->reject();
    });
    QCOMPARE(prompter.InputBox(QStringLiteral("User name?"), QStringLiteral("Zestrel"),
                               QStringLiteral("guest"), PromptEcho(echo)),
             expected);
    QCOMPARE(shownDefault, QStringLiteral("guest"));
    QCOMPARE(shownEcho, qtEcho);
}

void TestGuiPrompter::chooseColor_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("chosen") << true << true;
    QTest::newRow("cancel") << false << false;
}

void TestGuiPrompter::chooseColor()
{
    QFETCH(bool, accept);
    QFETCH(bool, chosen);
    GuiPrompter prompter;
    QColor start;
    whenShown<QColorDialog>([&](QColorDialog *d) {
        start = d->currentColor();
        d->setCurrentColor(QColor(0x12, 0x34, 0x56));
        accept ? d->accept() : d->reject();
    });
    const auto result = prompter.ChooseColor(255); // red
    QCOMPARE(start, QColor(255, 0, 0));
    QCOMPARE(result.has_value(), chosen);
    if (chosen)
        QCOMPARE(*result, std::uint32_t(0x563412));
}

void TestGuiPrompter::chooseFileIgnoresCase()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("cookbook.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    GuiPrompter prompter;
    QString filter;
    bool listed = false;
    whenShown<QFileDialog>([&](QFileDialog *d) {
        filter = d->selectedNameFilter();
        // The lower-case file is listed (and selectable) under the capitalised filter.
        auto *model = d->findChild<QFileSystemModel *>();
        listed = model && QTest::qWaitFor([&] {
                     const QModelIndex i = model->index(file.fileName());
                     return i.isValid() && (model->flags(i) & Qt::ItemIsEnabled) &&
                            model->nameFilters() == QStringList{"Cookbook.ini"};
                 });
        // Typed into the name field: selectFile() leaves that field alone while it has the
        // focus, which depends on what the tests before left active.
        if (auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(QStringLiteral("cookbook.ini"));
        static_cast<QDialog *>(d)->accept(); // QFileDialog's own accept, made public here
    });
    const auto path = prompter.ChooseFile(dir.path(), QStringLiteral("Cookbook.ini|Cookbook.ini"));
    QCOMPARE(filter, QStringLiteral("Cookbook.ini (Cookbook.ini)"));
    QVERIFY(listed);
    QVERIFY(path.has_value());
    QCOMPARE(QFileInfo(*path).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
}

QTEST_MAIN(TestGuiPrompter)
#include "tst_guiprompter.moc"
