// The relay's command line.
#include "server/Log.h"
#include "server/Server.h"

#include <charconv>

namespace zestrel::server
{

std::vector<std::string> DefaultRooms()
{
    return {"Main Kitchen",     "Baking Corner",   "Quick Dinners",
            "Vegetarian Table", "Grill and Smoke", "World Kitchens"};
}

bool ParseOptions(int argc, char **argv, Options &options, std::string &message)
{
    const std::string usage =
        "usage: zestrel-server --listen HOST:PORT [--rooms \"Name1,Name2,...\"]\n"
        "                      [--max-members N] [--welcome]\n"
        "PORT 0 takes a free port. Operator lines on standard input:\n"
        "  broadcast TEXT   notice to every member\n"
        "  news URL         news page for every member\n";
    options.rooms = DefaultRooms();
    bool listen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string_view &out) {
            if (i + 1 >= argc) {
                message = std::string(arg) + " needs a value\n" + usage;
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            message = usage;
            return false;
        } else if (arg == "--listen") {
            if (!value(v))
                return false;
            const auto colon = v.rfind(':');
            if (colon == std::string_view::npos || colon == 0) {
                message = "--listen wants HOST:PORT\n" + usage;
                return false;
            }
            std::string_view host = v.substr(0, colon);
            if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            const std::string_view port = v.substr(colon + 1);
            unsigned p = 0;
            const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
            if (ec != std::errc{} || end != port.data() + port.size() || p > 65535) {
                message = "bad port in --listen: " + std::string(port) + "\n";
                return false;
            }
            options.host = std::string(host);
            options.port = static_cast<std::uint16_t>(p);
            listen = true;
        } else if (arg == "--rooms") {
            if (!value(v))
                return false;
            options.rooms.clear();
            while (!v.empty()) {
                const auto comma = v.find(',');
                std::string name = Trim(v.substr(0, comma));
                if (!name.empty())
                    options.rooms.push_back(std::move(name));
                if (comma == std::string_view::npos)
                    break;
                v.remove_prefix(comma + 1);
            }
        } else if (arg == "--max-members") {
            if (!value(v))
                return false;
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc{} || end != v.data() + v.size()) {
                message = "bad number for --max-members: " + std::string(v) + "\n";
                return false;
            }
            options.maxMembers = n;
        } else if (arg == "--welcome") {
            options.welcome = true;
        } else {
            message = "unknown argument: " + std::string(arg) + "\n" + usage;
            return false;
        }
    }
    if (!listen) {
        message = usage;
        return false;
    }
    return true;
}

} // namespace zestrel::server
