// The real Prompter: modal Qt dialogs over the main window.
#pragma once

#include "app/Prompter.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace zestrel
{

// Turns a "Name|pattern" filter into the Qt form "Name (pattern)"; Qt filters pass unchanged.
QString QtNameFilter(const QString &filter);

class GuiPrompter : public Prompter
{
  public:
    // Dialogs are centred on this window once it exists.
    void setParentWindow(QWidget *parent) { parent_ = parent; }

    PromptAnswer MessageBox(const QString &text, const QString &title, PromptIcon icon,
                            PromptButtons buttons = PromptButtons::Ok) override;
    QString InputBox(const QString &prompt, const QString &title,
                     const QString &defaultText = QString(),
                     PromptEcho echo = PromptEcho::Normal) override;
    std::optional<std::uint32_t> ChooseColor(std::uint32_t start) override;
    std::optional<QString> ChooseFile(const QString &startFolder,
                                      const QString &nameFilter) override;

  private:
    QPointer<QWidget> parent_;
};

} // namespace zestrel
