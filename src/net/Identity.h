// The member's sign-in identity: the user name asked for and checked at start-up,
// and the reserved words only the master user may use.
#pragma once

#include "app/AppState.h"
#include "net/Connection.h"

#include <QString>
#include <functional>
#include <optional>

namespace zestrel
{

// The outgoing-text filter: true when the text may be used; on refusal it has
// already warned the member.
using TextScreen = std::function<bool(Prompter &, const QString &)>;

class Identity
{
  public:
    static constexpr int MinNameLength = 3;
    static constexpr int MaxNameLength = 20;
    static inline const QString MasterPassword = QStringLiteral("QuietHarbor");

    Identity(AppState &app, TextScreen screen, Connection &connection);

    // True with UserName set and stored; false when the member gave no name.
    bool AskUserName();
    // Asks for the name and notes the local address. False means the member gave
    // no name: the program ends without connecting.
    bool PrepareIdentity();

    // The checks of a name the member chose (length, the text filter, the reserved
    // words with the master password), each refusal with its message. nullopt when
    // refused; otherwise whether the name makes the member the master user.
    std::optional<bool> CheckName(const QString &name);
    // A name changed in the settings dialog: true when it may be used (also when it
    // did not change); false keeps the previous one.
    bool AcceptChangedName(const QString &typed, const QString &previous);

    // What in the name the relay would refuse ("the character \"^\"", a control
    // character, a frame marker), or empty text when nothing.
    static QString RefusedPart(const QString &name);

    // True when the upper-cased name contains "QEVO" or "SERVER".
    static bool HasReservedWord(const QString &name);

  private:
    bool storeName();

    AppState &app_;
    TextScreen screen_;
    Connection &connection_;
};

} // namespace zestrel
