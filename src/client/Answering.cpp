#include "client/Answering.h"

#include "protocol/Protocol.h"

namespace zestrel
{

void SendReplies(MessageSender &sender, const AppState &app, const Replies &replies)
{
    for (const Reply &r : replies)
        sender.SendMessage(r.code, app.MyUserKey, r.destination, r.payload);
}

void RegisterAnswers(Dispatcher &dispatcher, RecipeDatabase &db, MessageSender &sender)
{
    namespace code = protocol::code;
    using Answer = Replies (*)(RecipeDatabase &, const QString &, const QString &);
    auto bind = [&dispatcher, &db, &sender](int requestCode, Answer answer) {
        dispatcher.Register(requestCode,
                            [&db, &sender, answer](const QString &source, const QString &payload) {
                                SendReplies(sender, db.app, answer(db, source, payload));
                            });
    };
    bind(code::CategoriesRequest, &AnswerCategories);
    bind(code::LettersRequest, &AnswerLetterGroups);
    bind(code::RecipesRequest, &AnswerGroupRecipes);
    bind(code::RecipeRequest, &AnswerRecipe);
    bind(code::SearchRequest, &AnswerSearch);
    dispatcher.Register(code::ProfileRequest,
                        [&db, &sender](const QString &source, const QString &) {
                            SendReplies(sender, db.app, AnswerProfile(db.app, source));
                        });
}

} // namespace zestrel
