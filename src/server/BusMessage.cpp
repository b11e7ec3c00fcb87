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
