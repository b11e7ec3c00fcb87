// Texts shown from more than one place.
#pragma once

#include <QString>

namespace zestrel
{

// A second place that offers the Cookfolio download (the same one the recipe store names).
inline constexpr const char *kCookfolioDownloadAddress = "http://www.recipeware-downloads.example";

// The two-paragraph notice about features that need the Cookfolio database.
inline QString MissingDatabaseNotice(const QString &makerWebAddress)
{
    return QStringLiteral("Zestrel was desinged to work stand-alone, but some features (storage of "
                          "recipes, searching the database) require that the database "
                          "distributed with the Cookfolio (CKF) reside on your computer.") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral("For these features that require a database, you will need to install "
                          "at least the Freeware/Shareware version of CKF from QEVO.  You can "
                          "download CKF FREE at ") +
           makerWebAddress + QStringLiteral(" or ") +
           QString::fromLatin1(kCookfolioDownloadAddress) + QStringLiteral(".");
}

} // namespace zestrel
