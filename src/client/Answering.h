// Wires the recipe store's answers to the dispatcher: each request code runs its
// answer and every reply goes out through the sender from MyUserKey.
#pragma once

#include "net/Dispatcher.h"
#include "net/RequestGate.h"
#include "store/Answers.h"

namespace zestrel
{

// Sends the replies an answer returned.
void SendReplies(MessageSender &sender, const AppState &app, const Replies &replies);

// Registers 107, 108, 109, 111, 113 and 119. Requests over the gate's rate for their
// member are dropped unanswered, told on the status line at most once a second.
void RegisterAnswers(Dispatcher &dispatcher, RecipeDatabase &db, MessageSender &sender,
                     RequestGate &gate);

} // namespace zestrel
