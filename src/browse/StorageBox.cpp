#include "browse/StorageBox.h"

#include "app/Text.h"
#include "browse/Preview.h"

#include <cmath>
#include <limits>

namespace zestrel
{

StorageBox::StorageBox(AppState &app, QObject *parent) : QObject(parent), app_(app) {}

QString StorageBox::PreviewText(int box) const
{
    if (box < 0 || box >= PreviewCount)
        return {};
    return previews_[std::size_t(box)];
}

void StorageBox::setPreviews(const QString &text)
{
    bool changed = false;
    for (int i = 0; i < PreviewCount; ++i) {
        QString &t = previews_[std::size_t(i)];
        if (t == text)
            continue;
        t = text;
        changed = true;
        emit previewTextChanged(i, text);
    }
    if (changed)
        emit previewChanged();
}

void StorageBox::updateCounter()
{
    const QString text =
        QString::number(position_) + QLatin1Char('/') + QString::number(stored_.size());
    if (text == counter_)
        return;
    counter_ = text;
    emit counterChanged(text);
}

int StorageBox::capacity() const
{
    const QString setting = app_.Setting(QStringLiteral("STOREDRECIPES"));
    if (setting.isEmpty())
        return DefaultCapacity;
    const double n = std::floor(NumericValueOf(setting));
    if (n <= 0)
        return 0;
    return n >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(n);
}

void StorageBox::ProcessRecipe(const QString &pRecipe)
{
    const qsizetype same = stored_.indexOf(pRecipe);
    if (same >= 0)
        stored_.removeAt(same);
    stored_.append(pRecipe);
    const int cap = capacity();
    if (stored_.size() > cap)
        stored_.remove(0, stored_.size() - cap);
    position_ = int(stored_.size());
    ViewRecipe(pRecipe);
    updateCounter();
    emit recipeShown(CurrentPreview());
}

void StorageBox::ViewRecipe(const QString &pRecipe)
{
    // Both boxes always show the same recipe.
    if (const auto text = FormatRecipe(pRecipe, app_))
        setPreviews(*text);
}

void StorageBox::ShowStored(int position)
{
    if (position < 1 || position > stored_.size())
        return;
    position_ = position;
    ViewRecipe(stored_[position - 1]);
    updateCounter();
}

void StorageBox::cmdBack_Click()
{
    if (position_ > 1)
        --position_;
    if (position_ > 0)
        ViewRecipe(stored_.value(position_ - 1));
    updateCounter();
}

void StorageBox::cmdNext_Click()
{
    if (position_ < stored_.size())
        ++position_;
    if (position_ > 0)
        ViewRecipe(stored_.value(position_ - 1));
    updateCounter();
}

void StorageBox::RemoveStoredRecipe()
{
    if (position_ <= 0 || position_ > stored_.size())
        return;
    stored_.removeAt(position_ - 1);
    if (!(position_ == 1 && !stored_.isEmpty()))
        --position_;
    updateCounter();
    if (position_ < 1)
        setPreviews(QString());
    else
        ViewRecipe(stored_[position_ - 1]);
}

void StorageBox::cmdRecipeClear_Click()
{
    setPreviews(QString());
    stored_.clear();
    position_ = 0;
    updateCounter();
}

void StorageBox::EmptyForConnect()
{
    stored_.clear();
    position_ = 0;
}

void StorageBox::ResetViews()
{
    setPreviews(QString());
    position_ = 0;
    // "0/0" even though the list empties only at the connection attempt that follows.
    if (counter_ != QLatin1String("0/0")) {
        counter_ = QStringLiteral("0/0");
        emit counterChanged(counter_);
    }
}

} // namespace zestrel
