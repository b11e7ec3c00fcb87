// A scripted Prompter: records every box shown and answers from queues.
#pragma once

#include "app/Prompter.h"
#include "support/TestMode.h"

#include <QList>
#include <QQueue>
#include <QString>

namespace zestrel::test
{

class FakePrompter : public Prompter
{
  public:
    struct Shown {
        QString kind; // "message", "input", "color", "file"
        QString text; // message text or prompt
        QString title;
        PromptIcon icon = PromptIcon::None;
        PromptButtons buttons = PromptButtons::Ok;
        PromptEcho echo = PromptEcho::Normal; // text prompts only
    };

    QList<Shown> shown;
    QQueue<PromptAnswer> answers;                // for YesNo boxes; default No
    QQueue<QString> inputs;                      // for InputBox; default "" (cancel)
    QQueue<std::optional<std::uint32_t>> colors; // default cancel
    QQueue<std::optional<QString>> files;        // default cancel

    PromptAnswer MessageBox(const QString &text, const QString &title, PromptIcon icon,
                            PromptButtons buttons) override
    {
        shown.append({QStringLiteral("message"), text, title, icon, buttons});
        if (buttons == PromptButtons::Ok)
            return PromptAnswer::Ok;
        return answers.isEmpty() ? PromptAnswer::No : answers.dequeue();
    }
    QString InputBox(const QString &prompt, const QString &title, const QString &,
                     PromptEcho echo) override
    {
        shown.append(
            {QStringLiteral("input"), prompt, title, PromptIcon::None, PromptButtons::Ok, echo});
        return inputs.isEmpty() ? QString() : inputs.dequeue();
    }
    std::optional<std::uint32_t> ChooseColor(std::uint32_t) override
    {
        shown.append({QStringLiteral("color"), {}, {}});
        return colors.isEmpty() ? std::nullopt : colors.dequeue();
    }
    std::optional<QString> ChooseFile(const QString &startFolder, const QString &filter) override
    {
        shown.append({QStringLiteral("file"), startFolder, filter});
        return files.isEmpty() ? std::nullopt : files.dequeue();
    }

    // Titles of the message boxes shown, in order.
    QStringList titles() const
    {
        QStringList t;
        for (const auto &s : shown)
            t << s.title;
        return t;
    }
};

} // namespace zestrel::test
