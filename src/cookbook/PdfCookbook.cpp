#include "cookbook/PdfCookbook.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>
#include <cmath>

namespace zestrel::cookbook
{

namespace
{

QTextCharFormat Font(double points, bool bold = false, const QColor &color = Qt::black)
{
    QTextCharFormat f;
    f.setFontPointSize(points);
    f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    f.setForeground(color);
    return f;
}

QTextBlockFormat Block(Qt::Alignment align = Qt::AlignLeft, double above = 0, double below = 0,
                       bool pageBreak = false)
{
    QTextBlockFormat b;
    b.setAlignment(align);
    b.setTopMargin(above);
    b.setBottomMargin(below);
    if (pageBreak)
        b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return b;
}

QString Joined(const Ingredient &i)
{
    QStringList parts;
    for (const QString &s : {i.amount, i.measure, i.ingredient})
        if (!s.trimmed().isEmpty())
            parts << s.trimmed();
    return parts.join(QLatin1Char(' '));
}

} // namespace

PdfCookbook::PdfCookbook(const QList<Recipe> &recipes, const QString &title)
    : recipes_(recipes), title_(title.trimmed().isEmpty() ? QStringLiteral("My Cookbook") : title)
{
}

PdfCookbook::~PdfCookbook() = default;

void PdfCookbook::Build(QPagedPaintDevice &device)
{
    doc_ = std::make_unique<QTextDocument>();
    doc_->documentLayout()->setPaintDevice(&device);
    doc_->setDocumentMargin(0);
    QFont base = doc_->defaultFont();
    base.setPointSizeF(11);
    doc_->setDefaultFont(base);
    // A strip below each page's text holds its number.
    const double footer = device.logicalDpiY() * 0.4;
    doc_->setPageSize(QSizeF(device.width(), device.height() - footer));
    doc_->setUndoRedoEnabled(false);

    QTextCursor c(doc_.get());
    c.beginEditBlock();
    // The title page.
    c.setBlockFormat(Block(Qt::AlignHCenter, device.height() / 4.0, 24));
    c.setCharFormat(Font(30, true));
    c.insertText(title_);
    c.insertBlock(Block(Qt::AlignHCenter), Font(14, false, Qt::darkGray));
    c.insertText(recipes_.size() == 1 ? QStringLiteral("1 recipe")
                                      : QStringLiteral("%1 recipes").arg(recipes_.size()));

    // The contents: a row a recipe, the page numbers filled in once the pages are laid out.
    c.insertBlock(Block(Qt::AlignLeft, 0, 12, true), Font(20, true));
    c.insertText(QStringLiteral("Contents"));
    QTextTable *table = nullptr;
    if (!recipes_.isEmpty()) {
        QTextTableFormat tf;
        tf.setBorder(0);
        tf.setCellPadding(2);
        tf.setCellSpacing(0);
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tf.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 88),
                                      QTextLength(QTextLength::PercentageLength, 12)});
        c.insertBlock(Block(), Font(11));
        table = c.insertTable(int(recipes_.size()), 2, tf);
        for (int row = 0; row < recipes_.size(); ++row) {
            QTextCursor cell = table->cellAt(row, 0).firstCursorPosition();
            cell.insertText(recipes_[row].title, Font(11));
            QTextCursor number = table->cellAt(row, 1).firstCursorPosition();
            number.setBlockFormat(Block(Qt::AlignRight));
        }
        c.movePosition(QTextCursor::End);
    }

    // One recipe a page.
    QList<QTextBlock> starts;
    starts.reserve(recipes_.size());
    for (const Recipe &r : recipes_) {
        c.insertBlock(Block(Qt::AlignLeft, 0, 6, true), Font(20, true));
        starts << c.block();
        c.insertText(r.title);
        QStringList meta;
        auto add = [&](const char *label, const QString &value) {
            if (!value.trimmed().isEmpty())
                meta << QString::fromLatin1(label) + value.trimmed();
        };
        add("Category: ", r.category);
        add("Cuisine: ", r.cuisine);
        add("Servings: ", r.servings);
        add("Prep: ", r.prepTime);
        add("Cook: ", r.cookTime);
        if (!meta.isEmpty()) {
            c.insertBlock(Block(Qt::AlignLeft, 0, 10), Font(10, false, Qt::darkGray));
            c.insertText(meta.join(QStringLiteral("   ")));
        }
        if (!r.ingredients.isEmpty()) {
            c.insertBlock(Block(Qt::AlignLeft, 8, 4), Font(13, true));
            c.insertText(QStringLiteral("Ingredients"));
            for (const Ingredient &i : r.ingredients) {
                const bool heading = i.amount.trimmed().isEmpty() &&
                                     i.measure.trimmed().isEmpty() &&
                                     i.ingredient.trimmed().endsWith(QLatin1Char(':'));
                c.insertBlock(Block(Qt::AlignLeft, heading ? 4 : 0, 0), Font(11, heading));
                c.insertText(Joined(i));
            }
        }
        if (!r.directions.isEmpty()) {
            c.insertBlock(Block(Qt::AlignLeft, 10, 4), Font(13, true));
            c.insertText(QStringLiteral("Directions"));
            QTextListFormat lf;
            lf.setStyle(QTextListFormat::ListDecimal);
            QTextList *list = nullptr;
            for (const QString &step : r.directions) {
                c.insertBlock(Block(Qt::AlignLeft, 0, 4), Font(11));
                if (!list)
                    list = c.createList(lf);
                else
                    list->add(c.block());
                c.insertText(step);
            }
        }
        if (!r.notes.trimmed().isEmpty()) {
            c.insertBlock(Block(Qt::AlignLeft, 10, 4), Font(13, true));
            c.insertText(QStringLiteral("Notes"));
            c.insertBlock(Block(), Font(11));
            c.insertText(r.notes.trimmed());
        }
        if (!r.source.trimmed().isEmpty()) {
            c.insertBlock(Block(Qt::AlignLeft, 10, 0), Font(9, false, Qt::darkGray));
            c.insertText(QStringLiteral("Source: ") + r.source.trimmed());
        }
    }

    // Where each recipe landed. The numbers sit in a column of their own, so writing
    // them in moves nothing.
    c.endEditBlock();
    const double pageHeight = doc_->pageSize().height();
    pages_.clear();
    for (const QTextBlock &b : starts) {
        const QRectF rect = doc_->documentLayout()->blockBoundingRect(b);
        pages_ << int(std::floor((rect.top() + 1) / pageHeight)) + 1;
    }
    if (table) {
        // One edit, so the pages are laid out again once rather than once a number.
        QTextCursor edit(doc_.get());
        edit.beginEditBlock();
        for (int row = 0; row < pages_.size(); ++row) {
            edit.setPosition(table->cellAt(row, 1).firstPosition());
            edit.insertText(QString::number(pages_[row]), Font(11));
        }
        edit.endEditBlock();
    }
    pageCount_ = doc_->pageCount();
}

bool PdfCookbook::Write(const QString &path, QString *error, const Progress &progress)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        QFile::remove(path);
        return false;
    };
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot write %1: %2").arg(path, probe.errorString()));
    }
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 18, 20, 14), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(title_);
    writer.setCreator(QStringLiteral("Zestrel Cookbook"));
    Build(writer);

    QPainter painter;
    if (!painter.begin(&writer))
        return fail(QStringLiteral("cannot write %1").arg(path));
    const QSizeF page = doc_->pageSize();
    QFont numberFont = doc_->defaultFont();
    numberFont.setPointSizeF(9);
    for (int i = 0; i < pageCount_; ++i) {
        if (progress && !progress(i, pageCount_)) {
            painter.end();
            return fail(QStringLiteral("stopped"));
        }
        if (i > 0)
            writer.newPage();
        painter.save();
        painter.translate(0, -i * page.height());
        // The clip stops a hair short of the next page: a line starting exactly there
        // would otherwise be drawn (invisibly, but found by text search) here as well.
        doc_->drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height() - 1));
        painter.restore();
        if (i > 0) {
            painter.setFont(numberFont);
            painter.setPen(Qt::darkGray);
            painter.drawText(
                QRectF(0, page.height(), page.width(), writer.height() - page.height()),
                Qt::AlignHCenter | Qt::AlignBottom, QString::number(i + 1));
        }
    }
    if (!painter.end())
        return fail(QStringLiteral("cannot write %1").arg(path));
    if (progress)
        progress(pageCount_, pageCount_);
    return true;
}

} // namespace zestrel::cookbook
