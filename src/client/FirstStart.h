// The questions of a first start: a program folder without a member's name has neither a
// relay to connect to nor, often, a cookbook. Each is asked once, one box at a time.
#pragma once

#include "app/AppState.h"

#include <QString>
#include <functional>
#include <optional>

namespace zestrel
{

// A relay's place as the member types it: "HOST:PORT", or "[IPv6]:PORT".
struct RelayPlace {
    QString address; // without brackets
    QString port;
};
// Longest host name the resolver takes.
inline constexpr qsizetype kMaxRelayAddressChars = 253;
// nullopt for anything that is not a host name or address followed by a port 1..65535.
std::optional<RelayPlace> ParseRelayPlace(const QString &typed);

// The values a first start writes beside the address and port.
inline constexpr const char *kFirstSettingVersion = "1";
inline constexpr const char *kFirstConnectTimeout = "10";

QString RelayQuestionTitle();
QString RelayQuestionText();
QString RelayRefusalText();
// Asks for the relay until the answer is a valid place or the member cancels, then writes
// zestrel.set. True when the file was written.
bool AskForRelay(AppState &app);

QString NewCookbookTitle();
QString NewCookbookText(const QString &folder);
// Asks whether to make an empty cookbook in `folder`; on Yes runs `create`, which tells
// why it failed through its argument. True when a cookbook was made.
bool OfferNewCookbook(AppState &app, const QString &folder,
                      const std::function<bool(QString *error)> &create);

} // namespace zestrel
