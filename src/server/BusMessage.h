// What every message between relay nodes starts with: one header line
//     TYPE NODE INCARNATION SEQ SLOT FLAG \n
// (see Cluster.h for the subjects and the meaning of each type), and the names
// nodes may have.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace zestrel::server
{

inline constexpr const char *kAllSubject = "zestrel.all";
inline constexpr std::string_view kNodeSubjectPrefix = "zestrel.node.";

struct BusHeader {
    char type = 0;
    std::string_view node;
    std::uint64_t inc = 0;
    std::uint64_t seq = 0;
    unsigned slot = 0;
    bool more = false;     // a snapshot chunk with more to come
    std::string_view body; // what follows the line (parsing only)
};

// Letters, digits, "-" and "_", at most 32.
bool GoodNodeName(std::string_view name);

// A whole decimal number, nothing before or after it.
template <typename T> bool Number(std::string_view s, T &out)
{
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc{} && end == s.data() + s.size();
}

// Splits a bus message; false for anything not made by a node.
bool ParseHeader(std::string_view data, BusHeader &h);

// Appends the header line of `h` (its body is not used).
void AppendHeader(std::string &out, const BusHeader &h);

// Member-to-member frames for another node are gathered per node and sent as one bus
// message ('M') each loop turn: its body is the frames in order, each as its length in
// decimal, ':' and the frame. A lone frame goes as 'R' (the frame, unchanged).
inline constexpr std::size_t kBatchBytes = 64 * 1024;

// Appends one frame to an 'M' body.
void AppendBatched(std::string &body, std::string_view frame);
// The frames of an 'M' body, in order; false (and `frames` as far as it got) for a body
// no node made or with a frame over maxFrame.
bool SplitBatched(std::string_view body, std::size_t maxFrame,
                  std::vector<std::string_view> &frames);

class FrameBatcher
{
  public:
    // What goes on the bus: subject, type ('R' or 'M') and body.
    using Send = std::function<void(const std::string &, char, std::string_view)>;
    explicit FrameBatcher(std::size_t limit = kBatchBytes) : limit_(limit) {}

    // Gathers a frame for the node of `subject`. A body that would grow over the limit is
    // sent first; a frame too large for any batch is sent alone at once.
    void Add(const std::string &subject, std::string_view frame, const Send &send);
    // Sends everything gathered, each node's frames in the order they came.
    void Flush(const Send &send);
    bool Empty() const { return pending_.empty(); }

  private:
    struct Pending {
        std::string subject, body;
        std::size_t frames = 0, firstAt = 0; // where the first frame starts in body
    };
    static void SendOne(Pending &p, const Send &send);

    std::size_t limit_;
    // Few nodes: a short list, in the order they were first written to.
    std::vector<Pending> pending_;
};

} // namespace zestrel::server
