#include "ui/FrmSettings.h"

#include "ui/Colors.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace zestrel
{

namespace
{

QFont CourierNew()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

// A small box showing a colour; a click opens the colour chooser. It never takes focus.
class ColorSwatch : public QFrame
{
  public:
    ColorSwatch(std::function<void()> onClick, QWidget *parent)
        : QFrame(parent), onClick_(std::move(onClick))
    {
        setFrameShape(QFrame::Box);
        setFixedSize(40, 20);
        setAutoFillBackground(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }
    void SetColor(std::uint32_t bgr)
    {
        QPalette p = palette();
        p.setColor(QPalette::Window, BgrToQColor(bgr));
        setPalette(p);
    }

  protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            onClick_();
    }

  private:
    std::function<void()> onClick_;
};

QString ToWidgetText(const QString &text)
{
    QString t = text;
    return t.replace(kCrLf, QStringLiteral("\n"));
}

QString FromWidgetText(const QString &text)
{
    QString t = text;
    return t.replace(QLatin1Char('\n'), kCrLf);
}

} // namespace

FrmSettings::FrmSettings(AppState &state, AutoStartHook autoStart, QWidget *parent)
    : QDialog(parent), form_(state, std::move(autoStart))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    BuildUi();
    connect(&form_, &SettingsForm::changed, this, &FrmSettings::Refresh);
    form_.Load();
    Refresh();
}

void FrmSettings::BuildUi()
{
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));
    auto *save = new QPushButton(QStringLiteral("&Save"), this);
    save->setObjectName(QStringLiteral("cmdSave"));
    save->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &FrmSettings::cmdSave_Click);

    auto *root = new QVBoxLayout(this);
    root->addWidget(tabs);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    root->addLayout(buttons);

    auto check = [this](const char *name, const QString &text, QWidget *parent) {
        auto *box = new QCheckBox(text, parent);
        box->setObjectName(QLatin1String(name));
        const QString control = box->objectName();
        connect(box, &QCheckBox::clicked, this,
                [this, control](bool on) { form_.SetChecked(control, on); });
        return box;
    };
    auto list = [this](const char *name, QWidget *parent) {
        auto *combo = new QComboBox(parent);
        combo->setObjectName(QLatin1String(name));
        combo->addItems(ListItems(combo->objectName()));
        const QString control = combo->objectName();
        connect(combo, &QComboBox::activated, this,
                [this, control](int index) { form_.SetListIndex(control, index); });
        return combo;
    };
    auto line = [this](const char *name, int maxLength, QWidget *parent) {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(QLatin1String(name));
        if (maxLength > 0)
            edit->setMaxLength(maxLength);
        const QString control = edit->objectName();
        connect(edit, &QLineEdit::textEdited, this,
                [this, control](const QString &text) { form_.SetText(control, text); });
        return edit;
    };
    auto lines = [this](const char *name, int maxLength, QWidget *parent) {
        auto *edit = new QPlainTextEdit(parent);
        edit->setObjectName(QLatin1String(name));
        edit->setFont(CourierNew());
        edit->setTabChangesFocus(true);
        const QString control = edit->objectName();
        connect(edit, &QPlainTextEdit::textChanged, this, [this, edit, control, maxLength] {
            if (refreshing_)
                return;
            const QString text = FromWidgetText(edit->toPlainText());
            const QString before = form_.Text(control);
            // Typing stops at the limit, counting a line break as two characters as the
            // stored text does; a longer stored text can still be shortened.
            if (text.size() > maxLength && text.size() > before.size()) {
                const int cursor = edit->textCursor().position() -
                                   int(edit->toPlainText().size() - ToWidgetText(before).size());
                refreshing_ = true;
                edit->setPlainText(ToWidgetText(before));
                QTextCursor c = edit->textCursor();
                c.setPosition(std::clamp(cursor, 0, int(edit->toPlainText().size())));
                edit->setTextCursor(c);
                refreshing_ = false;
                return;
            }
            form_.SetText(control, text);
        });
        return edit;
    };
    auto swatch = [this](int index, QWidget *parent) {
        auto *box = new ColorSwatch([this, index] { form_.ChooseChatColor(index); }, parent);
        box->setObjectName(QStringLiteral("txtChatColor_%1").arg(index));
        return box;
    };

    // Profile
    auto *profile = new QWidget(tabs);
    {
        auto *grid = new QGridLayout(profile);
        grid->addWidget(
            check("chkProfile", QStringLiteral("Get All Profile Data during browsing"), profile), 0,
            0, 1, 2);
        auto *user = line("txtProfile_0", 20, profile);
        user->setFont(CourierNew());
        grid->addWidget(new QLabel(QStringLiteral("Username"), profile), 1, 0);
        grid->addWidget(user, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Description"), profile), 2, 0, Qt::AlignTop);
        grid->addWidget(lines("txtProfile_1", 75, profile), 2, 1);
        grid->addWidget(new QLabel(QStringLiteral("Extended Information"), profile), 3, 0,
                        Qt::AlignTop);
        grid->addWidget(lines("txtProfile_2", 300, profile), 3, 1);
    }
    tabs->addTab(profile, QStringLiteral("Profile"));

    // Misc.
    auto *misc = new QWidget(tabs);
    {
        auto *box = new QVBoxLayout(misc);
        auto *chat = new QGroupBox(QStringLiteral("Chat"), misc);
        auto *grid = new QGridLayout(chat);
        grid->addWidget(swatch(0, chat), 0, 0);
        grid->addWidget(new QLabel(QStringLiteral("Color of your text"), chat), 0, 1);
        grid->addWidget(swatch(1, chat), 1, 0);
        grid->addWidget(new QLabel(QStringLiteral("Background color"), chat), 1, 1);
        grid->addWidget(swatch(2, chat), 2, 0);
        grid->addWidget(check("chkIncomingText",
                              QStringLiteral("Set color of all incoming text to the following "
                                             "color"),
                              chat),
                        2, 1);
        for (int i = 0; i < 2; ++i) {
            auto *sample = new QLineEdit(i == 0 ? QStringLiteral("Your text will look like this")
                                                : QStringLiteral("Incoming text will look like "
                                                                 "this"),
                                         chat);
            sample->setObjectName(i == 0 ? QStringLiteral("txtExample")
                                         : QStringLiteral("txtExample2"));
            sample->setReadOnly(true);
            sample->setFont(CourierNew());
            grid->addWidget(sample, 3 + i, 0, 1, 2);
        }
        box->addWidget(chat);
        box->addWidget(new QLabel(QStringLiteral("Path to the Cookfolio INI file"), misc));
        auto *row = new QHBoxLayout;
        row->addWidget(line("txtCKFPath", 0, misc));
        auto *get = new QPushButton(QStringLiteral("..."), misc);
        get->setObjectName(QStringLiteral("cmdGetFile"));
        get->setAutoDefault(false);
        connect(get, &QPushButton::clicked, this, [this] { form_.ChooseCookbookFile(); });
        row->addWidget(get);
        box->addLayout(row);
        box->addStretch();
    }
    tabs->addTab(misc, QStringLiteral("Misc."));

    // Options
    auto *options = new QWidget(tabs);
    {
        auto *box = new QVBoxLayout(options);
        auto *browsing = new QGroupBox(QStringLiteral("Browsing"), options);
        auto *b = new QVBoxLayout(browsing);
        b->addWidget(check("chkAutoExpandNodes",
                           QStringLiteral("Automaticaly expand nodes when clicked "), browsing));
        b->addWidget(check("chkExcludeMultiCategories",
                           QStringLiteral("Exclude category combinations in the browse window"),
                           browsing));
        box->addWidget(browsing);
        auto *searching = new QGroupBox(QStringLiteral("Searching"), options);
        auto *s = new QVBoxLayout(searching);
        s->addWidget(check("chkAllowSearches",
                           QStringLiteral("Allow others to SEARCH your database"), searching));
        s->addWidget(check("chkSearchSelf",
                           QStringLiteral("When searching, also search your local database"),
                           searching));
        box->addWidget(searching);
        box->addWidget(check("chkAllRecipes",
                             QStringLiteral("Return All recipes (even recipes distributed with "
                                            "CKF)"),
                             options));
        box->addWidget(
            check("chkInstantMessage", QStringLiteral("Disable Instant Messages "), options));
        box->addStretch();
    }
    tabs->addTab(options, QStringLiteral("Options"));

    // Settings
    auto *settings = new QWidget(tabs);
    {
        auto *box = new QVBoxLayout(settings);
        auto *grid = new QGridLayout;
        grid->addWidget(
            new QLabel(QStringLiteral("Base Font Size (changing will clear/reset chat)"), settings),
            0, 0);
        grid->addWidget(list("cboBaseFontSize", settings), 0, 1);
        grid->addWidget(
            new QLabel(QStringLiteral("Number of recipes to keep in memory (storage box)"),
                       settings),
            1, 0);
        grid->addWidget(list("cboStoredRecipes", settings), 1, 1);
        box->addLayout(grid);
        box->addWidget(check("chkGetWebSettings",
                             QStringLiteral("Automatically Look for new settings file on web"),
                             settings));
        box->addWidget(check("chkWebWarning",
                             QStringLiteral("Show warning when file is not accessible"), settings));
        box->addWidget(check("chkSkipWebVerify",
                             QStringLiteral("Automatically update existing Zestrel.set file"),
                             settings));
        box->addWidget(check("chkAutoStart",
                             QStringLiteral("Automatically run Zestrel when my computer starts"),
                             settings));
        box->addWidget(check("chkMinimize",
                             QStringLiteral("Automatically minimize Zestrel (to the taskbar) at "
                                            "startup"),
                             settings));
        box->addWidget(check("chkPing",
                             QStringLiteral("Periodically ping the server (to keep my session "
                                            "active)"),
                             settings));
        box->addWidget(check("chkReconnect",
                             QStringLiteral("Attempt to reconnect to the Zestrel network if "
                                            "disconnected"),
                             settings));
        box->addStretch();
    }
    tabs->addTab(settings, QStringLiteral("Settings"));
}

void FrmSettings::Refresh()
{
    refreshing_ = true;
    for (const SettingDef &def : SettingsCatalogue()) {
        const QString control = QLatin1String(def.control);
        switch (def.kind) {
        case SettingKind::Check:
            if (auto *box = findChild<QCheckBox *>(control)) {
                const QSignalBlocker block(box);
                box->setChecked(form_.Checked(control));
                box->setEnabled(form_.Enabled(control));
            }
            break;
        case SettingKind::Text:
        case SettingKind::Path:
            if (auto *edit = findChild<QLineEdit *>(control)) {
                const QString text = form_.Text(control);
                if (edit->text() != text) {
                    const QSignalBlocker block(edit);
                    // A longer stored text is shown whole; typing is still limited.
                    if (def.maxLength > 0)
                        edit->setMaxLength(std::max(def.maxLength, int(text.size())));
                    edit->setText(text);
                }
            }
            break;
        case SettingKind::MultiLine:
            if (auto *edit = findChild<QPlainTextEdit *>(control)) {
                const QString text = ToWidgetText(form_.Text(control));
                if (edit->toPlainText() != text)
                    edit->setPlainText(text);
            }
            break;
        case SettingKind::List:
            if (auto *combo = findChild<QComboBox *>(control)) {
                const QSignalBlocker block(combo);
                combo->setCurrentIndex(form_.ListIndex(control));
            }
            break;
        case SettingKind::Swatch:
            if (auto *box = dynamic_cast<ColorSwatch *>(findChild<QFrame *>(control)))
                box->SetColor(form_.SwatchColor(control.back().digitValue()));
            break;
        }
    }
    const QString samples[2] = {QStringLiteral("txtExample"), QStringLiteral("txtExample2")};
    for (int i = 0; i < 2; ++i) {
        if (auto *sample = findChild<QLineEdit *>(samples[i])) {
            QPalette p = sample->palette();
            p.setColor(QPalette::Text, BgrToQColor(form_.ExampleTextColor(i)));
            p.setColor(QPalette::Base, BgrToQColor(form_.ExampleBackColor(i)));
            sample->setPalette(p);
        }
    }
    refreshing_ = false;
}

void FrmSettings::cmdSave_Click()
{
    close();
}

void FrmSettings::showEvent(QShowEvent *event)
{
    // A dialog shown again after it was closed starts over from the file, as a freshly
    // opened one does.
    if (closed_) {
        closed_ = false;
        form_.Load();
    }
    form_.SetVisible(true);
    QDialog::showEvent(event);
}

void FrmSettings::closeEvent(QCloseEvent *event)
{
    if (!closed_) {
        closed_ = true;
        form_.Close();
        emit settingsSaved();
    }
    event->accept();
}

void FrmSettings::reject()
{
    close();
}

} // namespace zestrel
