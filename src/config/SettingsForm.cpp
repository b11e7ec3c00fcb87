#include "config/SettingsForm.h"
#include "app/Text.h"

#include "config/Ini.h"
#include "config/Notices.h"

#include <QRegularExpression>

#include <optional>

namespace zestrel
{

namespace
{

QString S(const char *text)
{
    return QString::fromLatin1(text);
}

// A stored colour is a whole number of 24 bits; anything else leaves the swatch alone.
std::optional<std::uint32_t> ParseColor(const QString &text)
{
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,8}")));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const qulonglong v = text.toULongLong();
    if (v > 0xFFFFFFu)
        return std::nullopt;
    return std::uint32_t(v);
}

} // namespace

SettingsForm::SettingsForm(AppState &state, AutoStartHook autoStart, QObject *parent)
    : QObject(parent), state_(state), autoStart_(std::move(autoStart))
{
    Reset();
}

void SettingsForm::Reset()
{
    checked_.clear();
    enabled_.clear();
    texts_.clear();
    lists_.clear();
    for (const SettingDef &def : SettingsCatalogue()) {
        const QString control = S(def.control);
        switch (def.kind) {
        case SettingKind::Check:
            checked_.insert(control, false);
            enabled_.insert(control, true);
            break;
        case SettingKind::Text:
        case SettingKind::MultiLine:
        case SettingKind::Path:
            texts_.insert(control, QString());
            break;
        case SettingKind::List:
            lists_.insert(control, -1);
            break;
        case SettingKind::Swatch:
            break;
        }
    }
    for (int i = 0; i < int(swatch_.size()); ++i)
        swatch_[std::size_t(i)] = DefaultSwatchColor(i);
    exampleText_ = {swatch_[0], swatch_[2]};
    exampleBack_.fill(swatch_[1]);
    lastChosenColor_ = 0;
    fontSizeAtLoad_.clear();
}

void SettingsForm::Load()
{
    Reset();
    // The web-settings box starts unchecked, so its two dependants start disabled.
    if (!Checked(QStringLiteral("chkGetWebSettings"))) {
        enabled_[QStringLiteral("chkSkipWebVerify")] = false;
        enabled_[QStringLiteral("chkWebWarning")] = false;
    }

    for (const SettingDef &def : SettingsCatalogue()) {
        const QString control = S(def.control);
        const QString value = ReadIniKey(state_.SettingsFilePath, S(def.section), S(def.key));
        switch (def.kind) {
        case SettingKind::Check:
            SetChecked(control, NumericValueOf(value) == 1.0);
            break;
        case SettingKind::Text:
        case SettingKind::Path:
            SetText(control, value);
            break;
        case SettingKind::MultiLine: {
            QString text = value;
            if (!state_.ListSep.isEmpty())
                text.replace(state_.ListSep, kCrLf);
            SetText(control, text);
            break;
        }
        case SettingKind::Swatch:
            if (const auto c = ParseColor(value))
                swatch_.at(std::size_t(control.back().digitValue())) = *c;
            break;
        case SettingKind::List:
            SelectListText(control, value);
            break;
        }
    }

    exampleText_[0] = swatch_[0];
    exampleBack_[0] = swatch_[1];
    exampleText_[1] = swatch_[2];
    exampleBack_[1] = swatch_[1];

    if (ListIndex(QStringLiteral("cboBaseFontSize")) < 0)
        SetListIndex(QStringLiteral("cboBaseFontSize"), 2);
    if (ListIndex(QStringLiteral("cboStoredRecipes")) < 0)
        SetListIndex(QStringLiteral("cboStoredRecipes"), 1);

    fontSizeAtLoad_ = ListText(QStringLiteral("cboBaseFontSize"));
    state_.CookbookIniPath = Text(QStringLiteral("txtCKFPath"));
    emit changed();
}

QMap<QString, QString> SettingsForm::Values() const
{
    QMap<QString, QString> values;
    for (const SettingDef &def : SettingsCatalogue()) {
        const QString control = S(def.control);
        QString value;
        switch (def.kind) {
        case SettingKind::Check:
            value = Checked(control) ? QStringLiteral("1") : QStringLiteral("0");
            break;
        case SettingKind::Text:
        case SettingKind::Path:
            value = Text(control);
            break;
        case SettingKind::MultiLine:
            value = Text(control);
            value.replace(kCrLf, state_.ListSep);
            break;
        case SettingKind::Swatch:
            value = QString::number(swatch_.at(std::size_t(control.back().digitValue())));
            break;
        case SettingKind::List:
            value = ListIndex(control) < 0 ? S(def.defaultValue) : ListText(control);
            break;
        }
        values.insert(S(def.key), value);
    }
    return values;
}

bool SettingsForm::Close()
{
    QMap<QString, QString> values = Values();
    // A new user name passes the checks of the one asked at start-up; a refused one
    // keeps the name in use, so nothing unchecked ever signs in.
    const QString userKey = QStringLiteral("USERNAME");
    if (AcceptName && values.value(userKey) != state_.UserName) {
        if (AcceptName(values.value(userKey), state_.UserName))
            values.insert(userKey, TrimSpaces(values.value(userKey)));
        else
            values.insert(userKey, state_.UserName);
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        state_.Settings.insert(it.key(), it.value());
    state_.CookbookIniPath = values.value(QStringLiteral("CKFPATH"));

    // One refused write must not cost the member the other settings.
    QStringList failures;
    for (const SettingDef &def : SettingsCatalogue()) {
        const QString key = S(def.key);
        QString error;
        if (!WriteIniKey(state_.SettingsFilePath, S(def.section),
                         key + QLatin1Char('=') + values.value(key), &error))
            failures << key + QStringLiteral(": ") + error;
    }
    if (!failures.isEmpty())
        state_.diag.ShowMessage(QStringLiteral("These settings could not be saved:") + kCrLf +
                                    failures.join(kCrLf),
                                QStringLiteral("Settings Not Saved"));

    if (autoStart_)
        autoStart_(values.value(QStringLiteral("AUTOSTART")) == QLatin1String("1"));
    state_.UserName = values.value(QStringLiteral("USERNAME"));
    visible_ = false;
    emit changed();
    return failures.isEmpty();
}

void SettingsForm::SetChecked(const QString &control, bool checked)
{
    auto it = checked_.find(control);
    if (it == checked_.end() || *it == checked)
        return;
    *it = checked;
    emit changed();
    OnCheckClick(control, checked);
}

void SettingsForm::OnCheckClick(const QString &control, bool checked)
{
    if (control == QLatin1String("chkAllowSearches") || control == QLatin1String("chkSearchSelf")) {
        if (checked && DatabaseKnown && state_.NoDatabase) {
            state_.diag.ShowMessage(
                QStringLiteral("You cannot set this option because you have no database!") + kCrLf +
                    kCrLf + MissingDatabaseNotice(state_.MakerWebAddress),
                QStringLiteral("CKF not installed"));
            SetChecked(control, false);
        }
    } else if (control == QLatin1String("chkAllRecipes")) {
        if (!checked && visible_)
            state_.diag.ShowMessage(
                QStringLiteral("You are setting the option to block recipes that were "
                               "distributed with CKF.") +
                    kCrLf + kCrLf +
                    QStringLiteral("Zestrel will now only retrieve recipes that were enterered "
                                   "in the remote user's CKF database after installation!"),
                QStringLiteral("New Recipes"));
    } else if (control == QLatin1String("chkGetWebSettings")) {
        for (const QString &dependant :
             {QStringLiteral("chkSkipWebVerify"), QStringLiteral("chkWebWarning")}) {
            enabled_[dependant] = checked;
            if (!checked)
                SetChecked(dependant, false);
        }
        emit changed();
    }
}

void SettingsForm::SetText(const QString &control, const QString &text)
{
    auto it = texts_.find(control);
    if (it == texts_.end() || *it == text)
        return;
    *it = text;
    emit changed();
}

QString SettingsForm::ListText(const QString &control) const
{
    const QStringList items = ListItems(control);
    const int index = ListIndex(control);
    return index >= 0 && index < items.size() ? items.at(index) : QString();
}

void SettingsForm::SetListIndex(const QString &control, int index)
{
    auto it = lists_.find(control);
    if (it == lists_.end() || index < -1 || index >= ListItems(control).size() || *it == index)
        return;
    *it = index;
    emit changed();
}

bool SettingsForm::SelectListText(const QString &control, const QString &text)
{
    const int index = int(ListItems(control).indexOf(text));
    if (index < 0)
        return false;
    SetListIndex(control, index);
    return true;
}

void SettingsForm::ChooseCookbookFile()
{
    // A cancelled chooser leaves the path as it was.
    const auto chosen = state_.prompter.ChooseFile(state_.ProgramFolder,
                                                   QStringLiteral("Cookbook.ini|Cookbook.ini"));
    if (chosen)
        SetText(QStringLiteral("txtCKFPath"), *chosen);
}

void SettingsForm::Refuse(const QString &text)
{
    state_.diag.ShowMessage(text, QStringLiteral("Matching Color"));
}

void SettingsForm::ChooseChatColor(int index)
{
    if (index < 0 || index > 2)
        return;
    const auto chosen = state_.prompter.ChooseColor(lastChosenColor_);
    if (!chosen)
        return;
    lastChosenColor_ = *chosen;
    const std::uint32_t c = *chosen & 0xFFFFFFu;
    const QString sameText =
        QStringLiteral("You cannot set the text and background to the same color!");
    switch (index) {
    case 0:
        if (c == swatch_[1])
            return Refuse(sameText);
        swatch_[0] = c;
        exampleText_[0] = c;
        break;
    case 1:
        if (c == swatch_[2] || c == swatch_[0])
            return Refuse(sameText);
        swatch_[1] = c;
        exampleBack_[0] = c;
        exampleBack_[1] = c;
        break;
    case 2:
        if (c == swatch_[1])
            return Refuse(QStringLiteral(
                "You cannot set the incoming text and background to the same color!"));
        swatch_[2] = c;
        exampleText_[1] = c;
        break;
    }
    emit changed();
}

void LoadSettingsUnseen(AppState &state, const AutoStartHook &autoStart)
{
    SettingsForm form(state, autoStart);
    form.DatabaseKnown = false;
    form.Load();
    form.Close();
}

} // namespace zestrel
