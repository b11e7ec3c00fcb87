// The relay's command line.
#include "server/Cluster.h"
#include "server/Log.h"
#include "server/Server.h"

#include <charconv>

namespace zestrel::server
{

namespace
{

// A whole number of bytes, optionally followed by K, M or G.
bool ParseBytes(std::string_view v, std::size_t &out)
{
    std::size_t shift = 0;
    if (!v.empty()) {
        switch (v.back()) {
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'G':
        case 'g':
            shift = 30;
            break;
        default:
            break;
        }
        if (shift)
            v.remove_suffix(1);
    }
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc{} || end != v.data() + v.size() ||
        n > (std::size_t(1) << 40) >> shift)
        return false;
    out = n << shift;
    return true;
}

} // namespace

std::vector<std::string> DefaultRooms()
{
    return {"Main Kitchen",     "Baking Corner",   "Quick Dinners",
            "Vegetarian Table", "Grill and Smoke", "World Kitchens"};
}

std::vector<AddressRange> DefaultMasterFrom()
{
    std::vector<AddressRange> out(2);
    ParseRange("127.0.0.1", out[0]);
    ParseRange("::1", out[1]);
    return out;
}

bool ParseOptions(int argc, char **argv, Options &options, std::string &message)
{
    const std::string usage =
        "usage: zestrel-server [--listen HOST:PORT]\n"
        "                      [--listen-tls HOST:PORT --tls-cert FILE --tls-key FILE]\n"
        "                      [--rooms \"Name1,Name2,...\"]\n"
        "                      [--max-members N] [--max-unsigned N]\n"
        "                      [--max-unsigned-per-address N] [--sign-in-timeout S]\n"
        "                      [--max-memory BYTES] [--fanout-rate BYTES] [--welcome]\n"
        "                      [--cluster nats://HOST:PORT[,nats://...] --node NAME]\n"
        "                      [--master-from ADDRESS[/PREFIX][,...]] [--ban-file FILE]\n"
        "PORT 0 takes a free port. BYTES may end in K, M or G (times 1024, 1024^2, 1024^3).\n"
        "  --listen HOST:PORT   plain listener\n"
        "  --listen-tls HOST:PORT\n"
        "                       TLS listener (TLS 1.2 and newer), beside or instead of\n"
        "                       the plain one; --tls-cert names the PEM certificate chain,\n"
        "                       --tls-key its PEM private key. SIGHUP loads both again.\n"
        "  --max-members N      signed-in members (default: no limit)\n"
        "  --max-unsigned N     connections not signed in yet (default 1024; 0: no limit)\n"
        "  --max-unsigned-per-address N\n"
        "                       of those, from one address (default 64; 0: no limit)\n"
        "  --sign-in-timeout S  seconds a connection may take to sign in (default 10)\n"
        "  --max-memory BYTES   input buffers plus queued output of all (default 512M)\n"
        "  --fanout-rate BYTES  chat and search bytes per second per member (default 1M)\n"
        "  --cluster URLS       join the other relay nodes over these NATS servers\n"
        "  --node NAME          this node's name (letters, digits, - and _), ending in a\n"
        "                       number 1-200 no other node uses: node N gives out the\n"
        "                       connection indexes N*10000000+1 to (N+1)*10000000\n"
        "  --master-from LIST   addresses names holding QEVO or SERVER may sign in from\n"
        "                       (default 127.0.0.1,::1; empty: none)\n"
        "  --ban-file FILE      keep the operator's bans in FILE across restarts\n"
        "Operator lines on standard input:\n"
        "  broadcast TEXT   notice to every member\n"
        "  news URL         news page for every member\n"
        "  who              members with key, address, room and connected time\n"
        "  kick NAME|KEY    close a member's connection (KEY as who shows it, or #INDEX)\n"
        "  ban ADDRESS[/PREFIX] [MINUTES]\n"
        "                   refuse connections from there (for good without MINUTES)\n"
        "  unban ADDRESS[/PREFIX]\n"
        "  bans             the bans in force\n";
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
        } else if (arg == "--listen" || arg == "--listen-tls") {
            if (!value(v))
                return false;
            const bool tls = arg == "--listen-tls";
            const auto colon = v.rfind(':');
            if (colon == std::string_view::npos || colon == 0) {
                message = std::string(arg) + " wants HOST:PORT\n" + usage;
                return false;
            }
            std::string_view host = v.substr(0, colon);
            if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            const std::string_view port = v.substr(colon + 1);
            unsigned p = 0;
            const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
            if (ec != std::errc{} || end != port.data() + port.size() || p > 65535) {
                message = "bad port in " + std::string(arg) + ": " + std::string(port) + "\n";
                return false;
            }
            (tls ? options.tlsHost : options.host) = std::string(host);
            (tls ? options.tlsPort : options.port) = static_cast<std::uint16_t>(p);
            (tls ? options.tls : listen) = true;
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            if (!value(v))
                return false;
            (arg == "--tls-cert" ? options.tlsCert : options.tlsKey) = std::string(v);
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
        } else if (arg == "--max-members" || arg == "--max-unsigned" ||
                   arg == "--max-unsigned-per-address") {
            if (!value(v))
                return false;
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc{} || end != v.data() + v.size()) {
                message = "bad number for " + std::string(arg) + ": " + std::string(v) + "\n";
                return false;
            }
            (arg == "--max-members"    ? options.maxMembers
             : arg == "--max-unsigned" ? options.maxUnsigned
                                       : options.maxUnsignedPerAddress) = n;
        } else if (arg == "--sign-in-timeout") {
            if (!value(v))
                return false;
            double s = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
            if (ec != std::errc{} || end != v.data() + v.size() || !(s >= 0.1 && s <= 3600)) {
                message =
                    "--sign-in-timeout wants seconds from 0.1 to 3600: " + std::string(v) + "\n";
                return false;
            }
            options.signInSeconds = s;
        } else if (arg == "--max-memory" || arg == "--fanout-rate") {
            if (!value(v))
                return false;
            std::size_t n = 0;
            const bool memory = arg == "--max-memory";
            // The budget must leave room for one largest frame.
            if (!ParseBytes(v, n) || n < (memory ? std::size_t(4) << 20 : 1024)) {
                message = std::string(arg) + " wants a byte count of at least " +
                          (memory ? "4M" : "1K") + ": " + std::string(v) + "\n";
                return false;
            }
            (memory ? options.maxMemory : options.fanoutRate) = n;
        } else if (arg == "--cluster") {
            if (!value(v))
                return false;
            options.clusterUrls.clear();
            while (!v.empty()) {
                const auto comma = v.find(',');
                std::string url = Trim(v.substr(0, comma));
                if (!url.empty()) {
                    if (url.rfind("nats://", 0) != 0) {
                        message = "--cluster wants nats://HOST:PORT addresses: " + url + "\n";
                        return false;
                    }
                    options.clusterUrls.push_back(std::move(url));
                }
                if (comma == std::string_view::npos)
                    break;
                v.remove_prefix(comma + 1);
            }
            if (options.clusterUrls.empty()) {
                message = "--cluster wants at least one nats://HOST:PORT\n";
                return false;
            }
        } else if (arg == "--node") {
            if (!value(v))
                return false;
            options.slot = SlotOfNode(v);
            if (options.slot == 0) {
                message = "--node wants a name of letters, digits, - and _ ending in a number "
                          "from 1 to 200: " +
                          std::string(v) + "\n";
                return false;
            }
            options.node = std::string(v);
        } else if (arg == "--master-from") {
            if (!value(v))
                return false;
            std::string bad;
            if (!ParseRanges(v, options.masterFrom, bad)) {
                message = "--master-from wants ADDRESS[/PREFIX] separated by commas: " + bad + "\n";
                return false;
            }
        } else if (arg == "--ban-file") {
            if (!value(v))
                return false;
            if (v.empty()) {
                message = "--ban-file wants a file name\n";
                return false;
            }
            options.banFile = std::string(v);
        } else if (arg == "--welcome") {
            options.welcome = true;
        } else {
            message = "unknown argument: " + std::string(arg) + "\n" + usage;
            return false;
        }
    }
    if (!listen && !options.tls) {
        message = usage;
        return false;
    }
    options.plain = listen;
    const bool bothFiles = !options.tlsCert.empty() && !options.tlsKey.empty();
    const bool anyFile = !options.tlsCert.empty() || !options.tlsKey.empty();
    if (options.tls ? !bothFiles : anyFile) {
        message = "--listen-tls, --tls-cert and --tls-key go together\n";
        return false;
    }
    if (options.clusterUrls.empty() != options.node.empty()) {
        message = "--cluster and --node go together\n";
        return false;
    }
    return true;
}

} // namespace zestrel::server
