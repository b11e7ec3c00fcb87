// The filter that screens outgoing chat lines and user names for offensive words.
#pragma once

#include "app/Prompter.h"

#include <QString>
#include <QStringList>

namespace zestrel
{

// Refused when one of these occurs anywhere in the upper-cased text.
const QStringList &ContainedWords();
// Refused only when the whole upper-cased text is one of these (short words that
// also hide inside innocent ones).
const QStringList &WholeTextWords();

// True when the text is accepted. On refusal the member has been warned and false
// is returned; the text itself is never changed.
bool ScreenText(Prompter &prompter, const QString &text);

} // namespace zestrel
