// A printed cookbook: a title page, the contents with the page each recipe starts on,
// and every recipe on a page of its own (a long one runs on to the next pages). The
// pages are numbered from the title page on, so the contents agree with a PDF reader.
#pragma once

#include "cookbook/Recipe.h"

#include <QList>
#include <QString>
#include <QTextDocument>
#include <functional>
#include <memory>

class QPagedPaintDevice;

namespace zestrel::cookbook
{

class PdfCookbook
{
  public:
    // Called with the pages done and the pages in all while the file is written; returns
    // false to stop (the file is then removed).
    using Progress = std::function<bool(int done, int total)>;

    PdfCookbook(const QList<Recipe> &recipes, const QString &title);
    ~PdfCookbook();

    // Writes the PDF to `path`; on failure `error` says why and no file is left.
    bool Write(const QString &path, QString *error = nullptr, const Progress &progress = {});

    // After Write: the page each recipe starts on, in the order given, and all pages.
    QList<int> RecipePages() const { return pages_; }
    int PageCount() const { return pageCount_; }

  private:
    void Build(QPagedPaintDevice &device);

    QList<Recipe> recipes_;
    QString title_;
    std::unique_ptr<QTextDocument> doc_;
    QList<int> pages_;
    int pageCount_ = 0;
};

} // namespace zestrel::cookbook
