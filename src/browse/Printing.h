// Printing through the print module. The client hands the recipe line by
// line to a document builder created by name; ours collects the styled lines in a
// QTextDocument and hands it to a previewer (the window shows QPrintPreviewDialog,
// tests print it to PDF).
#pragma once

#include "app/AppState.h"
#include "store/Import.h"

#include <QHash>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <memory>
#include <optional>

namespace zestrel
{

// The name the client creates its print module by.
inline constexpr const char *kPrintModuleName = "Pagelark.cPagelark";

// A failure inside the module or while reading the recipe: reported as
// source ": " number CR LF CR LF description.
struct PrintFailure {
    QString source;
    qint64 number = 0;
    QString description;
};

// The module's members as the call sites use them. A left-out argument is nullopt
// and takes the module's default. Members may throw PrintFailure.
class DocumentBuilder
{
  public:
    virtual ~DocumentBuilder() = default;
    // Without text: an empty line. Otherwise the text, then the line ends.
    virtual void AddLine(const std::optional<QString> &text = std::nullopt,
                         std::optional<double> size = std::nullopt,
                         std::optional<bool> bold = std::nullopt,
                         std::optional<bool> italic = std::nullopt) = 0;
    // Appends to the current line without ending it.
    virtual void Add(const QString &text, std::optional<double> size = std::nullopt,
                     std::optional<bool> bold = std::nullopt) = 0;
    virtual void Preview() = 0;
};

// Creates print modules by their registered name.
class PrintModules
{
  public:
    using Creator = std::function<std::unique_ptr<DocumentBuilder>()>;
    void Register(const QString &name, Creator creator) { creators_.insert(name, creator); }
    void Unregister(const QString &name) { creators_.remove(name); }
    // Nothing when no module of that name is installed.
    std::unique_ptr<DocumentBuilder> CreateObject(const QString &name) const;

  private:
    QHash<QString, Creator> creators_;
};

// Our module: every line becomes a block of a QTextDocument; Preview hands the
// document over (the previewer takes it; without one it is dropped).
class TextDocumentBuilder : public DocumentBuilder
{
  public:
    using Previewer = std::function<void(std::unique_ptr<QTextDocument>)>;
    static constexpr double DefaultPoints = 10.0;

    explicit TextDocumentBuilder(Previewer previewer);

    void AddLine(const std::optional<QString> &text = std::nullopt,
                 std::optional<double> size = std::nullopt, std::optional<bool> bold = std::nullopt,
                 std::optional<bool> italic = std::nullopt) override;
    void Add(const QString &text, std::optional<double> size = std::nullopt,
             std::optional<bool> bold = std::nullopt) override;
    void Preview() override;

    QTextDocument &document() { return *doc_; }

  private:
    void insert(const QString &text, std::optional<double> size, std::optional<bool> bold,
                std::optional<bool> italic);

    std::unique_ptr<QTextDocument> doc_;
    QTextCursor cursor_;
    bool lineOpen_ = false; // the current block already holds text of this line
    bool firstLine_ = true;
    Previewer previewer_;
};

// The print button and the print routine.
class Printer
{
  public:
    Printer(AppState &app, RecipeBox &box, PrintModules &modules)
        : app_(app), box_(box), modules_(modules)
    {
    }

    void cmdPrint_Click();
    // Sends one recipe text to a new print module and opens its preview.
    void PrintRecipe(const QString &text);

    static QString NotInstalledText(const QString &makerWebAddress);

  private:
    AppState &app_;
    RecipeBox &box_;
    PrintModules &modules_;
};

} // namespace zestrel
