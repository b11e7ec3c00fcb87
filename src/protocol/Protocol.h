// The wire format shared by the client and the relay server: pure C++20, no Qt.
// A frame is  BEGIN code ^ source ^ destination ^ payload END  as raw bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zestrel::protocol
{

inline constexpr std::string_view kBeginMarker{"*~B~*"};
inline constexpr std::string_view kEndMarker{"*~E~*"};
// The server's bare (unframed) greeting.
inline constexpr std::string_view kServerNotice{"Server is currently running. WELCOME."};

// Separators made of control characters that recipe and profile texts never hold.
inline constexpr std::string_view kFieldSep{"\0\0\0", 3}; // between fields of a record / user key
inline constexpr std::string_view kListSep{"\0\1\0",
                                           3}; // between items of a list; a stored line break
inline constexpr std::string_view kArgSep{"\0\2\0", 3}; // between parts of browse requests/replies

// Largest frame or unframed run either side keeps before giving up on it.
inline constexpr std::size_t kMaxFrameBytes = 16u * 1024u * 1024u;
// Longest chat line or search payload the relay passes on; a longer one is dropped there.
inline constexpr std::size_t kMaxLinePayloadBytes = 64u * 1024u;

// Message codes.
namespace code
{
inline constexpr int SignIn = 1;
inline constexpr int SignOff = 2;
inline constexpr int RequestUsers = 3;
inline constexpr int ChatLine = 4;
inline constexpr int Ping = 5;
inline constexpr int RequestRooms = 6;
inline constexpr int Search = 7;
inline constexpr int UsersList = 100;
inline constexpr int UsersAdded = 101;
inline constexpr int UserLeft = 102;
inline constexpr int ChatLineRelay = 103;
inline constexpr int Ignored104 = 104;
inline constexpr int RecipeReply = 105;
inline constexpr int ProfileReply = 106;
inline constexpr int RecipeRequest = 107;
inline constexpr int SearchRequest = 108;
inline constexpr int ProfileRequest = 109;
inline constexpr int CategoriesReply = 110;
inline constexpr int CategoriesRequest = 111;
inline constexpr int RecipesReply = 112;
inline constexpr int RecipesRequest = 113;
inline constexpr int SearchReply = 114;
inline constexpr int ShowWebPage = 115;
inline constexpr int RoomList = 116;
inline constexpr int ConnectionIndex = 117;
inline constexpr int ServerBroadcast = 118;
inline constexpr int LettersRequest = 119;
inline constexpr int LettersReply = 120;
inline constexpr int InstantMessage = 121;
inline constexpr int SearchTooGeneric = 900;
inline constexpr int RecipeNotFound = 901;
inline constexpr int UserUnavailable = 902;
} // namespace code

// True for the codes one member's client sends to another through the relay.
bool IsMemberToMember(int code) noexcept;

struct Message {
    std::string code;
    std::string source;
    std::string destination;
    std::string payload;
    bool operator==(const Message &) const = default;
};

// BEGIN code ^ source ^ destination ^ payload END; nothing validated or escaped.
std::string BuildMessage(std::string_view code, std::string_view source,
                         std::string_view destination, std::string_view payload);

// Removes every marker, splits at "^" into exactly four fields and trims spaces
// from each. Returns false (and four empty fields) otherwise.
bool ParseMessage(std::string_view frame, Message &out);

// The four fields of a frame as views into the frame or into a caller's scratch
// text; valid while both live. Lets the relay route frames without copying them.
struct MessageView {
    std::string_view code;
    std::string_view source;
    std::string_view destination;
    std::string_view payload;
};

// Same rules as ParseMessage. scratch holds the frame without its markers when it
// has markers inside it (rare); otherwise the views point into frame.
bool ParseMessageView(std::string_view frame, MessageView &out, std::string &scratch);

// Every occurrence of find (non-empty) replaced, left to right, without rescanning.
std::string ReplaceString(std::string_view text, std::string_view find,
                          std::string_view replacement);

// Numeric value of a code field as the client's dispatcher reads it:
// "117", " 117", "117.0" -> 117; "117.5", "abc", "" -> -1.
int CodeNumber(std::string_view codeText) noexcept;

// UserKey = ip FieldSep name FieldSep index.
std::string BuildUserKey(std::string_view ip, std::string_view name, std::string_view index);
// Piece 0 ip, 1 name, 2 index; a missing piece is empty; any other part number gives "N/A".
std::string UserKeyPart(std::string_view key, int part);

// Cuts a received byte stream into frames. Keeps one buffer per connection; a
// frame from a begin marker to the first end marker after it is complete;
// text in front of a begin marker is junk; an unfinished tail waits for more.
class Reassembler
{
  public:
    struct Event {
        enum class Kind {
            ServerNotice, // the chunk was exactly the server's bare notice
            Junk,         // bytes before a begin marker were dropped
            Frame,        // a complete frame; parsed says whether ParseMessage accepted it
            Partial,      // an unfinished tail is kept for the next chunk
            Overflow,     // unframed data passed the bound and was dropped
        };
        Kind kind;
        bool parsed = false;
        int code = -1;     // Frame && parsed: the code's numeric value (CodeNumber)
        std::string frame; // Frame: the frame text from begin to end marker
        Message message;   // Frame && parsed: its four fields
    };

    explicit Reassembler(std::size_t maxBuffered = kMaxFrameBytes);

    // Processes one chunk as read from the socket and returns what happened,
    // in order. The internal buffer is updated before it returns.
    std::vector<Event> Feed(std::string_view chunk);

    // Allocation-light form of Feed for the relay: calls sink(kind, bytes) per
    // event in the same order; bytes is the frame text for Kind::Frame (not
    // parsed here), the dropped bytes for Kind::Junk and empty otherwise. The
    // view is valid only during the call.
    // sink returns false to stop early (the rest of the chunk is then discarded).
    template <class Sink> void Scan(std::string_view chunk, Sink &&sink);

    std::size_t Buffered() const noexcept { return buffer_.size(); }
    // Bytes reserved by the internal buffer (the relay watches idle footprint).
    std::size_t Capacity() const noexcept { return buffer_.capacity(); }
    void Clear() noexcept
    {
        buffer_.clear();
        scanned_ = 0;
    }

  private:
    enum class Step { Junk, Frame, Overflow };
    // Start of the last begin marker that lies wholly in text and starts at or after from;
    // npos when there is none.
    static std::size_t LastBeginMarker(std::string_view text, std::size_t from)
    {
        std::size_t last = std::string_view::npos;
        for (std::size_t at = text.find(kBeginMarker, from); at != std::string_view::npos;
             at = text.find(kBeginMarker, at + kBeginMarker.size()))
            last = at;
        return last;
    }
    // One pass over data; returns how many leading bytes were consumed.
    template <class Sink> std::size_t Consume(std::string_view data, Sink &sink);
    template <class Sink> void Run(std::string_view chunk, Sink &sink);

    std::size_t maxBuffered_;
    std::string buffer_;
    // How far (from the start of buffer_) the end marker has already been searched for.
    std::size_t scanned_ = 0;
};

// ---- implementation of the templates ----

template <class Sink> std::size_t Reassembler::Consume(std::string_view data, Sink &sink)
{
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data.substr(pos, kBeginMarker.size()) != kBeginMarker) {
            const std::size_t begin = data.find(kBeginMarker, pos);
            if (begin == std::string_view::npos) {
                // Keep only a tail that may still grow into a begin marker.
                std::size_t keep = std::min(data.size() - pos, kBeginMarker.size() - 1);
                while (keep > 0 && !kBeginMarker.starts_with(data.substr(data.size() - keep)))
                    --keep;
                if (data.size() - keep > pos) {
                    if (!sink(Event::Kind::Junk, data.substr(pos, data.size() - keep - pos)))
                        return data.size();
                }
                scanned_ = 0;
                return data.size() - keep;
            }
            if (!sink(Event::Kind::Junk, data.substr(pos, begin - pos)))
                return data.size();
            pos = begin;
        }
        // data[pos..] starts with a begin marker. Resume the end-marker search where
        // the previous chunk left it, minus an end marker's length for a split marker.
        std::size_t from = pos + kBeginMarker.size();
        if (pos == 0 && scanned_ > from + kEndMarker.size() - 1)
            from = scanned_ - (kEndMarker.size() - 1);
        const std::size_t end = data.find(kEndMarker, from);
        // A begin marker before the end marker starts a new frame: the sender gave up on
        // the unfinished one, which is dropped as junk. Only the text not yet searched is
        // looked at, so the work stays linear however the stream is cut.
        // A begin marker that shares its last character with the end marker found still
        // counts, so the outcome does not depend on where the stream was cut.
        const std::size_t limit = end == std::string_view::npos
                                      ? data.size()
                                      : std::min(data.size(), end + kEndMarker.size() - 1);
        const std::size_t restart = LastBeginMarker(data.substr(0, limit), from);
        if (restart != std::string_view::npos) {
            if (!sink(Event::Kind::Junk, data.substr(pos, restart - pos)))
                return data.size();
            scanned_ = 0;
            pos = restart;
            continue; // the end marker is looked for again after the new begin marker
        }
        if (end == std::string_view::npos) {
            if (data.size() - pos > maxBuffered_) {
                // Unfinished frame past the bound: drop it; the stream picks up again
                // at the next begin marker.
                scanned_ = 0;
                sink(Event::Kind::Overflow, std::string_view{});
                return data.size();
            }
            scanned_ = data.size() - pos;
            return pos;
        }
        scanned_ = 0;
        const std::size_t stop = end + kEndMarker.size();
        const bool ok = stop - pos > maxBuffered_
                            ? sink(Event::Kind::Overflow, std::string_view{})
                            : sink(Event::Kind::Frame, data.substr(pos, stop - pos));
        if (!ok)
            return data.size();
        pos = stop;
    }
    scanned_ = 0;
    return pos;
}

template <class Sink> void Reassembler::Run(std::string_view chunk, Sink &sink)
{
    if (chunk == kServerNotice) {
        sink(Event::Kind::ServerNotice, std::string_view{});
        return;
    }
    if (buffer_.empty()) {
        // Common case: work on the chunk in place and keep only its unfinished tail.
        const std::size_t used = Consume(chunk, sink);
        buffer_.assign(chunk.substr(used));
    } else {
        buffer_.append(chunk);
        const std::size_t used = Consume(std::string_view{buffer_}, sink);
        buffer_.erase(0, used);
    }
    if (buffer_.empty()) {
        scanned_ = 0;
        // Give back the memory of a large frame once it has been handled.
        if (buffer_.capacity() > 64 * 1024)
            std::string{}.swap(buffer_);
    } else {
        sink(Event::Kind::Partial, std::string_view{});
    }
}

template <class Sink> void Reassembler::Scan(std::string_view chunk, Sink &&sink)
{
    Run(chunk, sink);
}

} // namespace zestrel::protocol
