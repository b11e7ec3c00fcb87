#include "protocol/Protocol.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace zestrel::protocol
{

namespace
{

std::string_view TrimSpaces(std::string_view s) noexcept
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool Contains(std::string_view text, std::string_view what) noexcept
{
    return text.find(what) != std::string_view::npos;
}

// Splits at '^' into exactly four trimmed fields.
bool SplitFields(std::string_view rest, MessageView &out) noexcept
{
    std::string_view fields[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t caret = rest.find('^', start);
        if (i < 3) {
            if (caret == std::string_view::npos)
                return false;
            fields[i] = rest.substr(start, caret - start);
            start = caret + 1;
        } else {
            if (caret != std::string_view::npos)
                return false;
            fields[i] = rest.substr(start);
        }
    }
    out.code = TrimSpaces(fields[0]);
    out.source = TrimSpaces(fields[1]);
    out.destination = TrimSpaces(fields[2]);
    out.payload = TrimSpaces(fields[3]);
    return true;
}

} // namespace

bool IsMemberToMember(int code) noexcept
{
    switch (code) {
    case code::RecipeReply:
    case code::ProfileReply:
    case code::RecipeRequest:
    case code::ProfileRequest:
    case code::CategoriesReply:
    case code::CategoriesRequest:
    case code::RecipesReply:
    case code::RecipesRequest:
    case code::SearchReply:
    case code::LettersRequest:
    case code::LettersReply:
    case code::InstantMessage:
    case code::SearchTooGeneric:
    case code::RecipeNotFound:
        return true;
    default:
        return false;
    }
}

std::string BuildMessage(std::string_view code, std::string_view source,
                         std::string_view destination, std::string_view payload)
{
    std::string out;
    out.reserve(kBeginMarker.size() + code.size() + source.size() + destination.size() +
                payload.size() + 3 + kEndMarker.size());
    out.append(kBeginMarker)
        .append(code)
        .append(1, '^')
        .append(source)
        .append(1, '^')
        .append(destination)
        .append(1, '^')
        .append(payload)
        .append(kEndMarker);
    return out;
}

std::string ReplaceString(std::string_view text, std::string_view find,
                          std::string_view replacement)
{
    if (find.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = text.find(find, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(text.substr(pos, hit - pos)).append(replacement);
        pos = hit + find.size();
    }
    out.append(text.substr(pos));
    return out;
}

bool ParseMessageView(std::string_view frame, MessageView &out, std::string &scratch)
{
    out = MessageView{};
    if (!Contains(frame, kEndMarker) || !Contains(frame, kBeginMarker))
        return false;
    MessageView fields;
    // Fast path: the only begin marker opens the frame and the only end marker
    // closes it, so removing them leaves exactly the text between.
    const std::size_t markers = kBeginMarker.size() + kEndMarker.size();
    if (frame.size() >= markers && frame.starts_with(kBeginMarker) &&
        frame.find(kBeginMarker, 1) == std::string_view::npos &&
        frame.find(kEndMarker) == frame.size() - kEndMarker.size()) {
        if (!SplitFields(frame.substr(kBeginMarker.size(), frame.size() - markers), fields))
            return false;
        out = fields;
        return true;
    }
    // Every begin marker removed first, then every end marker, as the wire has
    // always been read; removal may join pieces into new markers, which stay.
    scratch = ReplaceString(ReplaceString(frame, kBeginMarker, {}), kEndMarker, {});
    if (!SplitFields(scratch, fields))
        return false;
    out = fields;
    return true;
}

bool ParseMessage(std::string_view frame, Message &out)
{
    out = Message{};
    MessageView view;
    std::string scratch;
    if (!ParseMessageView(frame, view, scratch))
        return false;
    out.code.assign(view.code);
    out.source.assign(view.source);
    out.destination.assign(view.destination);
    out.payload.assign(view.payload);
    return true;
}

int CodeNumber(std::string_view codeText) noexcept
{
    // Fields arrive trimmed, but callers with raw text get the same answer.
    std::string_view s = TrimSpaces(codeText);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return -1;
    // Only decimal notation: digits with an optional fraction and exponent. No
    // hex, no "inf"/"nan", nothing trailing.
    for (const char c : s) {
        const bool ok =
            (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
        if (!ok)
            return -1;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size())
        return -1;
    if (!std::isfinite(value) || value < 0 || value > double(INT_MAX) || value != std::floor(value))
        return -1;
    return static_cast<int>(value);
}

std::string BuildUserKey(std::string_view ip, std::string_view name, std::string_view index)
{
    std::string key;
    key.reserve(ip.size() + name.size() + index.size() + 2 * kFieldSep.size());
    key.append(ip).append(kFieldSep).append(name).append(kFieldSep).append(index);
    return key;
}

std::string UserKeyPart(std::string_view key, int part)
{
    if (part < 0 || part > 2)
        return "N/A";
    std::size_t start = 0;
    for (int i = 0;; ++i) {
        const std::size_t sep = key.find(kFieldSep, start);
        if (i == part)
            return std::string(key.substr(
                start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos)
            return {};
        start = sep + kFieldSep.size();
    }
}

Reassembler::Reassembler(std::size_t maxBuffered) : maxBuffered_(maxBuffered) {}

std::vector<Reassembler::Event> Reassembler::Feed(std::string_view chunk)
{
    std::vector<Event> events;
    std::string scratch;
    auto sink = [&](Event::Kind kind, std::string_view frame) {
        Event ev{kind, false, -1, {}, {}};
        if (kind == Event::Kind::Frame) {
            ev.frame.assign(frame);
            MessageView view;
            ev.parsed = ParseMessageView(frame, view, scratch);
            if (ev.parsed) {
                ev.code = CodeNumber(view.code);
                ev.message = Message{std::string(view.code), std::string(view.source),
                                     std::string(view.destination), std::string(view.payload)};
            }
        }
        events.push_back(std::move(ev));
        return true;
    };
    Run(chunk, sink);
    return events;
}

} // namespace zestrel::protocol
