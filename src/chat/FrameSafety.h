// Typed texts that cannot travel in a frame: the field separator "^" or a frame
// marker inside a text makes the receiver drop the whole frame, so such a text
// is refused before it is sent, with a notice, instead of vanishing silently.
#pragma once

#include "app/Prompter.h"

#include <QString>

namespace zestrel
{

// True when the text survives the framing.
bool SurvivesFraming(const QString &text);

// True when the text may be sent; otherwise the member was told why (modal notice).
bool CheckFraming(Prompter &prompter, const QString &text);

} // namespace zestrel
