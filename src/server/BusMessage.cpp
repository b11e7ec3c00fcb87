#include "server/BusMessage.h"
#include "server/Cluster.h"

#include <algorithm>

namespace zestrel::server
{

bool GoodNodeName(std::string_view name)
{
    if (name.empty() || name.size() > 32)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

bool ParseHeader(std::string_view data, BusHeader &h)
{
    const auto nl = data.find('\n');
    if (nl == std::string_view::npos || nl > 128)
        return false;
    std::string_view line = data.substr(0, nl);
    h.body = data.substr(nl + 1);
    std::string_view f[6];
    for (int i = 0; i < 6; ++i) {
        const auto sp = line.find(' ');
        if ((sp == std::string_view::npos) != (i == 5))
            return false;
        f[i] = line.substr(0, sp);
        line = i == 5 ? std::string_view{} : line.substr(sp + 1);
    }
    if (f[0].size() != 1 || !GoodNodeName(f[1]) || !Number(f[2], h.inc) || !Number(f[3], h.seq) ||
        !Number(f[4], h.slot) || (f[5] != "0" && f[5] != "1"))
        return false;
    h.type = f[0][0];
    h.node = f[1];
    h.more = f[5] == "1";
    return true;
}

void AppendHeader(std::string &out, const BusHeader &h)
{
    out += h.type;
    out += ' ';
    out.append(h.node);
    out += ' ';
    out += std::to_string(h.inc);
    out += ' ';
    out += std::to_string(h.seq);
    out += ' ';
    out += std::to_string(h.slot);
    out += h.more ? " 1\n" : " 0\n";
}

void AppendBatched(std::string &body, std::string_view frame)
{
    body += std::to_string(frame.size());
    body += ':';
    body.append(frame);
}

bool SplitBatched(std::string_view body, std::size_t maxFrame,
                  std::vector<std::string_view> &frames)
{
    while (!body.empty()) {
        const auto colon = body.find(':');
        std::size_t size = 0;
        if (colon == std::string_view::npos || colon > 20 || !Number(body.substr(0, colon), size) ||
            size > maxFrame || size > body.size() - colon - 1)
            return false;
        frames.push_back(body.substr(colon + 1, size));
        body.remove_prefix(colon + 1 + size);
    }
    return true;
}

void FrameBatcher::SendOne(Pending &p, const Send &send)
{
    if (p.frames == 1)
        send(p.subject, 'R', std::string_view(p.body).substr(p.firstAt));
    else if (p.frames > 1)
        send(p.subject, 'M', p.body);
    p.body.clear();
    p.frames = 0;
}

void FrameBatcher::Add(const std::string &subject, std::string_view frame, const Send &send)
{
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending &p) { return p.subject == subject; });
    const std::size_t size = std::to_string(frame.size()).size() + 1 + frame.size();
    if (size > limit_) {
        // Alone, after what this node was sent before it.
        if (it != pending_.end()) {
            SendOne(*it, send);
            pending_.erase(it);
        }
        send(subject, 'R', frame);
        return;
    }
    if (it == pending_.end()) {
        pending_.push_back(Pending{subject, {}, 0, 0});
        it = pending_.end() - 1;
    } else if (it->body.size() + size > limit_) {
        SendOne(*it, send);
    }
    if (it->frames == 0)
        it->firstAt = size - frame.size();
    AppendBatched(it->body, frame);
    ++it->frames;
}

void FrameBatcher::Flush(const Send &send)
{
    // Taken out first: sending may gather again.
    std::vector<Pending> all;
    all.swap(pending_);
    for (Pending &p : all)
        SendOne(p, send);
}

unsigned SlotOfNode(std::string_view name)
{
    if (!GoodNodeName(name))
        return 0;
    std::size_t i = name.size();
    while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9')
        --i;
    unsigned slot = 0;
    if (i == name.size() || name.size() - i > 3 || !Number(name.substr(i), slot) || slot > kMaxSlot)
        return 0;
    return slot;
}

} // namespace zestrel::server
