#include "ui/GuiPrompter.h"

#include "ui/Colors.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace zestrel
{

QString QtNameFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() < 2)
        return filter;
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

PromptAnswer GuiPrompter::MessageBox(const QString &text, const QString &title, PromptIcon icon,
                                     PromptButtons buttons)
{
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case PromptIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case PromptIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case PromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    return result == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
}

QString GuiPrompter::InputBox(const QString &prompt, const QString &title,
                              const QString &defaultText, PromptEcho echo)
{
    bool ok = false;
    const QString text = QInputDialog::getText(
        parent_, title, prompt,
        echo == PromptEcho::Password ? QLineEdit::Password : QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

std::optional<std::uint32_t> GuiPrompter::ChooseColor(std::uint32_t start)
{
    const QColor chosen = QColorDialog::getColor(BgrToQColor(start), parent_);
    if (!chosen.isValid())
        return std::nullopt;
    return QColorToBgr(chosen);
}

std::optional<QString> GuiPrompter::ChooseFile(const QString &startFolder,
                                               const QString &nameFilter)
{
    QFileDialog dialog(parent_, QString(), startFolder, QtNameFilter(nameFilter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog, so names match without regard to case as they did where the
    // settings came from ("Cookbook.ini" must list "cookbook.ini").
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace zestrel
