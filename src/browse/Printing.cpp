#include "browse/Printing.h"

#include "app/Text.h"
#include "store/TransferText.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>

namespace zestrel
{

std::unique_ptr<DocumentBuilder> PrintModules::CreateObject(const QString &name) const
{
    const auto it = creators_.find(name);
    if (it == creators_.end() || !it.value())
        return nullptr;
    return it.value()();
}

// --- TextDocumentBuilder -------------------------------------------------

TextDocumentBuilder::TextDocumentBuilder(Previewer previewer)
    : doc_(std::make_unique<QTextDocument>()), cursor_(doc_.get()), previewer_(std::move(previewer))
{
    QFont font = doc_->defaultFont();
    font.setPointSizeF(DefaultPoints);
    doc_->setDefaultFont(font);
}

void TextDocumentBuilder::insert(const QString &text, std::optional<double> size,
                                 std::optional<bool> bold, std::optional<bool> italic)
{
    if (!lineOpen_ && !firstLine_)
        cursor_.insertBlock();
    firstLine_ = false;
    lineOpen_ = true;
    QTextCharFormat format;
    format.setFontPointSize(size.value_or(DefaultPoints));
    format.setFontWeight(bold.value_or(false) ? QFont::Bold : QFont::Normal);
    format.setFontItalic(italic.value_or(false));
    cursor_.insertText(text, format);
}

void TextDocumentBuilder::AddLine(const std::optional<QString> &text, std::optional<double> size,
                                  std::optional<bool> bold, std::optional<bool> italic)
{
    insert(text.value_or(QString()), size, bold, italic);
    lineOpen_ = false;
}

void TextDocumentBuilder::Add(const QString &text, std::optional<double> size,
                              std::optional<bool> bold)
{
    insert(text, size, bold, std::nullopt);
}

void TextDocumentBuilder::Preview()
{
    if (previewer_)
        previewer_(std::move(doc_));
    doc_ = std::make_unique<QTextDocument>();
    cursor_ = QTextCursor(doc_.get());
    lineOpen_ = false;
    firstLine_ = true;
}

// --- Printer -------------------------------------------------------------

QString Printer::NotInstalledText(const QString &makerWebAddress)
{
    return QStringLiteral("The Pagelark Module (Pagelark) is not installed on your computer.") +
           kCrLf + kCrLf + QStringLiteral("Pagelark is available for FREE at ") + makerWebAddress +
           QStringLiteral(".  You can download the Pagelark install kit separately or download "
                          "the Cookfolio install kit (which includes the Pagelark install kit "
                          "too).") +
           kCrLf + kCrLf +
           QStringLiteral("Please download either install kit if you would like to preview "
                          "and/or print recipes directly from Zestrel.");
}

void Printer::cmdPrint_Click()
{
    const int position = box_.StoredPosition();
    if (position == 0) {
        app_.prompter.MessageBox(QStringLiteral("You have no recipes in the preview window!"),
                                 QStringLiteral("No Recipes"), PromptIcon::Information);
        return;
    }
    if (position <= box_.StoredCount())
        PrintRecipe(box_.StoredText(position));
    else
        app_.prompter.MessageBox(QStringLiteral("Error locating selected recipe!"), QString(),
                                 PromptIcon::None);
}

namespace
{

QList<QStringList> SectionItems(const TransferRecipe &r, qsizetype section, const AppState &app)
{
    QList<QStringList> items;
    const QString text = r.sections.value(section);
    if (text.isEmpty())
        return items;
    for (const QString &item : text.split(app.ListSep))
        items.append(item.split(app.FieldSep));
    return items;
}

} // namespace

void Printer::PrintRecipe(const QString &text)
{
    std::unique_ptr<DocumentBuilder> module =
        modules_.CreateObject(QLatin1String(kPrintModuleName));
    if (!module) {
        app_.diag.ShowMessage(NotInstalledText(app_.MakerWebAddress), QString());
        return;
    }
    const QString none = QLatin1String(kNoneItem);
    const QString dash = QStringLiteral("---");
    try {
        const TransferRecipe r = ReadTransferText(text, app_);
        if (r.hasHeaderField(1))
            module->AddLine(r.headerField(1), 14, true);
        module->AddLine();
        struct Label {
            int field;
            const char *text;
        };
        static constexpr Label kLabels[] = {
            {7, "Source:    "}, {2, "Category:  "}, {8, "Cuisine:   "}, {3, "Servings:  "},
            {4, "Prep Time: "}, {5, "Cook Time: "}, {9, "Misc:      "},
        };
        for (const Label &label : kLabels) {
            if (!r.hasHeaderField(label.field) || r.headerField(label.field).isEmpty())
                continue;
            module->Add(QLatin1String(label.text) + QLatin1Char('\t'), 10, true);
            module->AddLine(r.headerField(label.field));
        }
        module->AddLine();
        module->AddLine(QStringLiteral("Ingredients"), 12, true);
        for (const QStringList &f : SectionItems(r, 1, app_)) {
            if (f.size() < 3 || f[0] == none)
                continue;
            // The cabinet is read next: an item of three fields cannot be printed.
            if (f.size() < 4)
                throw PrintFailure{QStringLiteral("Zestrel"), 9,
                                   QStringLiteral("Subscript out of range")};
            if (f[3] == dash) {
                module->AddLine(dash + f[2] + dash, std::nullopt, std::nullopt, true);
                continue;
            }
            if (f[0] != dash)
                module->Add(f[0] + QLatin1Char(' '));
            if (f[1] != dash)
                module->Add(f[1] + QLatin1Char(' '));
            module->AddLine(f[2]);
        }
        module->AddLine();
        module->AddLine(QStringLiteral("Directions"), 12, true);
        for (const QStringList &f : SectionItems(r, 2, app_)) {
            if (f.size() < 2 || f[0] == none)
                continue;
            module->AddLine(f[0] + QStringLiteral(":  ") + f[1]);
        }
        module->AddLine();
        if (r.hasHeaderField(6) && !r.headerField(6).isEmpty()) {
            module->AddLine(QStringLiteral("Notes"), 12, true);
            module->AddLine(r.headerField(6));
        }
        module->Preview();
    } catch (const PrintFailure &failure) {
        app_.diag.ShowMessage(failure.source + QStringLiteral(": ") +
                                  QString::number(failure.number) + kCrLf + kCrLf +
                                  failure.description,
                              QString());
    }
}

} // namespace zestrel
