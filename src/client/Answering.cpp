#include "client/Answering.h"

#include "protocol/Protocol.h"
#include "wire/Frame.h"

namespace zestrel
{

void SendReplies(MessageSender &sender, const AppState &app, const Replies &replies)
{
    for (const Reply &r : replies)
        sender.SendMessage(r.code, app.MyUserKey, r.destination, r.payload);
}

namespace
{
bool Admitted(RequestGate &gate, AppState &app, const QString &requester)
{
    switch (gate.Admit(requester)) {
    case RequestGate::Verdict::Answer:
        return true;
    case RequestGate::Verdict::DropAndReport:
        app.diag.SetStatus(QStringLiteral("Too many requests from user [") +
                           UserKeyPart(requester, 1) +
                           QStringLiteral("]; some were not answered."));
        return false;
    case RequestGate::Verdict::Drop:
        return false;
    }
    return false;
}
} // namespace

void RegisterAnswers(Dispatcher &dispatcher, RecipeDatabase &db, MessageSender &sender,
                     RequestGate &gate)
{
    namespace code = protocol::code;
    using Answer = Replies (*)(RecipeDatabase &, const QString &, const QString &);
    auto bind = [&dispatcher, &db, &sender, &gate](int requestCode, Answer answer) {
        dispatcher.Register(requestCode, [&db, &sender, &gate, answer](const QString &source,
                                                                       const QString &payload) {
            if (Admitted(gate, db.app, source))
                SendReplies(sender, db.app, answer(db, source, payload));
        });
    };
    bind(code::CategoriesRequest, &AnswerCategories);
    bind(code::LettersRequest, &AnswerLetterGroups);
    bind(code::RecipesRequest, &AnswerGroupRecipes);
    bind(code::RecipeRequest, &AnswerRecipe);
    bind(code::SearchRequest, &AnswerSearch);
    dispatcher.Register(code::ProfileRequest,
                        [&db, &sender, &gate](const QString &source, const QString &) {
                            if (Admitted(gate, db.app, source))
                                SendReplies(sender, db.app, AnswerProfile(db.app, source));
                        });
}

} // namespace zestrel
