// The three activity lights under the tabs (`shpActivity` 0 to 2) as a model the
// window shows. Colours are 0x00BBGGRR values, as stored in the settings.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>

namespace zestrel
{

class ActivityLights : public QObject
{
    Q_OBJECT
  public:
    enum Light { Receive = 0, Send = 1, Chat = 2 };
    static constexpr std::uint32_t White = 16777215;
    static constexpr std::uint32_t Red = 255;
    static constexpr std::uint32_t Green = 65280;
    static constexpr std::uint32_t Yellow = 0x00FFFF;
    // How long a light stays on after the activity that lit it ended.
    static constexpr int AfterglowMs = 250;

    explicit ActivityLights(QObject *parent = nullptr);

    std::uint32_t Colour(int index) const;
    // Lights it now; a pending switch-off is cancelled.
    void TurnOn(int index, std::uint32_t colour);
    // Switches it to white after `ms` by a single-shot timer, never by a nested wait,
    // so a burst of traffic cannot stack event loops.
    void TurnOffLater(int index, int ms = AfterglowMs);
    void TurnOff(int index);

  signals:
    void colourChanged(int index, std::uint32_t colour);

  private:
    void set(int index, std::uint32_t colour);

    std::array<std::uint32_t, 3> colours_{White, White, White};
    std::array<QTimer, 3> offTimers_;
};

} // namespace zestrel
