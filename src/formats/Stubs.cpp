// Placeholders until the readers and writers land; each returns an empty result.
#include "formats/Formats.h"

namespace zestrel::formats
{

Format DetectFormat(const QString &, const QByteArray &)
{
    return Format::Unknown;
}
QString FormatName(Format)
{
    return QStringLiteral("unknown");
}
ReadResult ReadMealMaster(const QByteArray &, const QString &)
{
    return {};
}
QByteArray WriteMealMaster(const QList<cookbook::Recipe> &)
{
    return {};
}
ReadResult ReadJsonLd(const QByteArray &, const QString &, const QString &)
{
    return {};
}
QByteArray WriteJsonLd(const QList<cookbook::Recipe> &)
{
    return {};
}
ReadResult ReadCooklang(const QByteArray &, const QString &)
{
    return {};
}
QByteArray WriteCooklang(const cookbook::Recipe &)
{
    return {};
}
ReadResult ReadBytes(const QByteArray &, const QString &)
{
    return {};
}
ReadResult ReadFile(const QString &)
{
    return {};
}
cookbook::Ingredient ParseIngredientLine(const QString &line)
{
    return {{}, {}, line, {}};
}
QString DurationText(const QString &iso8601)
{
    return iso8601;
}
QString IsoDuration(const QString &)
{
    return {};
}

} // namespace zestrel::formats
