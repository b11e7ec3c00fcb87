#include "net/ActivityLights.h"

namespace zestrel
{

ActivityLights::ActivityLights(QObject *parent) : QObject(parent)
{
    for (int i = 0; i < int(offTimers_.size()); ++i) {
        offTimers_[std::size_t(i)].setSingleShot(true);
        connect(&offTimers_[std::size_t(i)], &QTimer::timeout, this, [this, i] { set(i, White); });
    }
}

std::uint32_t ActivityLights::Colour(int index) const
{
    if (index < 0 || index >= int(colours_.size()))
        return White;
    return colours_[std::size_t(index)];
}

void ActivityLights::TurnOn(int index, std::uint32_t colour)
{
    if (index < 0 || index >= int(colours_.size()))
        return;
    offTimers_[std::size_t(index)].stop();
    set(index, colour);
}

void ActivityLights::TurnOffLater(int index, int ms)
{
    if (index < 0 || index >= int(colours_.size()))
        return;
    offTimers_[std::size_t(index)].start(ms);
}

void ActivityLights::TurnOff(int index)
{
    if (index < 0 || index >= int(colours_.size()))
        return;
    offTimers_[std::size_t(index)].stop();
    set(index, White);
}

void ActivityLights::set(int index, std::uint32_t colour)
{
    auto &c = colours_[std::size_t(index)];
    if (c == colour)
        return;
    c = colour;
    emit colourChanged(index, colour);
}

} // namespace zestrel
