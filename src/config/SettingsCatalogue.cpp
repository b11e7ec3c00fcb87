#include "config/SettingsCatalogue.h"


namespace zestrel
{

const std::array<SettingDef, kSettingCount> &SettingsCatalogue()
{
    using K = SettingKind;
    static const std::array<SettingDef, kSettingCount> catalogue{{
        {"PROFILE", "GETALLPROFILEDATA", "chkProfile", "0", K::Check},
        {"PROFILE", "USERNAME", "txtProfile_0", "", K::Text, 20},
        {"PROFILE", "DESCRIPTION", "txtProfile_1", "", K::MultiLine, 75},
        {"PROFILE", "EXTENDED", "txtProfile_2", "", K::MultiLine, 300},
        {"CHAT", "TEXTCOLOR", "txtChatColor_0", "", K::Swatch},
        {"CHAT", "BACKCOLOR", "txtChatColor_1", "", K::Swatch},
        {"CHAT", "INCOMINGTEXT", "chkIncomingText", "0", K::Check},
        {"CHAT", "INCOMINGCOLOR", "txtChatColor_2", "", K::Swatch},
        {"MISC", "AUTOEXPANDNODES", "chkAutoExpandNodes", "0", K::Check},
        {"MISC", "BASEFONTSIZE", "cboBaseFontSize", "10", K::List},
        {"MISC", "ALLOWSEARCHES", "chkAllowSearches", "0", K::Check},
        {"MISC", "STOREDRECIPES", "cboStoredRecipes", "25", K::List},
        {"MISC", "SELFSEARCH", "chkSearchSelf", "0", K::Check},
        {"MISC", "CKFPATH", "txtCKFPath", "", K::Path},
        {"MISC", "GETWEBSETTINGS", "chkGetWebSettings", "0", K::Check},
        {"MISC", "WEBWARNING", "chkWebWarning", "0", K::Check},
        {"MISC", "SKIPWEBVERIFY", "chkSkipWebVerify", "0", K::Check},
        {"MISC", "AUTOSTART", "chkAutoStart", "0", K::Check},
        {"MISC", "MINIMIZE", "chkMinimize", "0", K::Check},
        {"MISC", "EXCLUDEMULTICATEGORIES", "chkExcludeMultiCategories", "0", K::Check},
        {"MISC", "ALLRECIPES", "chkAllRecipes", "0", K::Check},
        {"MISC", "PING", "chkPing", "0", K::Check},
        {"MISC", "RECONNECT", "chkReconnect", "0", K::Check},
        {"MISC", "INSTANTMESSAGE", "chkInstantMessage", "0", K::Check},
    }};
    return catalogue;
}

const SettingDef *FindSetting(const QString &key)
{
    for (const SettingDef &def : SettingsCatalogue())
        if (key == QLatin1String(def.key))
            return &def;
    return nullptr;
}

QStringList ListItems(const QString &control)
{
    if (control == QLatin1String("cboBaseFontSize"))
        return {"8", "9", "10", "11", "12"};
    if (control == QLatin1String("cboStoredRecipes"))
        return {"10", "25", "50", "100"};
    return {};
}

std::uint32_t DefaultSwatchColor(int index)
{
    switch (index) {
    case 0:
        return kDefaultTextColor;
    case 2:
        return kDefaultIncomingColor;
    default:
        return kDefaultBackColor;
    }
}

QString DefaultSettingValue(const SettingDef &def)
{
    if (def.kind == SettingKind::Swatch)
        return QString::number(
            DefaultSwatchColor(QString::fromLatin1(def.control).back().digitValue()));
    return QString::fromLatin1(def.defaultValue);
}

} // namespace zestrel
