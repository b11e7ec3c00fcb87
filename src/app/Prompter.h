// Everything modal goes through a Prompter: the GUI shows real boxes, tests
// script the answers and read back what was shown.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace zestrel
{

enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No, Cancel };
// How a text prompt shows what is typed: as typed, or hidden (a password).
enum class PromptEcho { Normal, Password };

class Prompter
{
  public:
    virtual ~Prompter() = default;

    // A message box. With PromptButtons::Ok the answer is Ok.
    virtual PromptAnswer MessageBox(const QString &text, const QString &title, PromptIcon icon,
                                    PromptButtons buttons = PromptButtons::Ok) = 0;
    // A text prompt; returns the typed text, or an empty text on cancel.
    virtual QString InputBox(const QString &prompt, const QString &title,
                             const QString &defaultText = QString(),
                             PromptEcho echo = PromptEcho::Normal) = 0;
    // A colour chooser starting from a 0x00BBGGRR colour; nullopt on cancel.
    virtual std::optional<std::uint32_t> ChooseColor(std::uint32_t start) = 0;
    // A file chooser; returns the full path chosen, or nullopt on cancel.
    virtual std::optional<QString> ChooseFile(const QString &startFolder,
                                              const QString &nameFilter) = 0;
};

// For a client without a window (the demo member, benchmarks): nothing is asked,
// every box answers "No", every prompt and chooser is cancelled.
class SilentPrompter : public Prompter
{
  public:
    PromptAnswer MessageBox(const QString &, const QString &, PromptIcon, PromptButtons) override
    {
        return PromptAnswer::No;
    }
    QString InputBox(const QString &, const QString &, const QString &, PromptEcho) override
    {
        return {};
    }
    std::optional<std::uint32_t> ChooseColor(std::uint32_t) override { return std::nullopt; }
    std::optional<QString> ChooseFile(const QString &, const QString &) override
    {
        return std::nullopt;
    }
};

} // namespace zestrel
