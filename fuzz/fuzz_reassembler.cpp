// Any bytes, cut into any chunks, through the re-assembler and the parser:
// no crash, no hang, memory bounded, and the frames found do not depend on how
// the stream was cut.
#include "protocol/Protocol.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace zestrel::protocol;
using Kind = Reassembler::Event::Kind;

namespace
{

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Seen {
    std::vector<std::string> frames;
    bool notice = false;
    bool overflow = false;
};

void Collect(Reassembler &r, std::string_view chunk, std::size_t bound, Seen &seen)
{
    for (const auto &e : r.Feed(chunk)) {
        switch (e.kind) {
        case Kind::Frame: {
            Check(e.frame.starts_with(kBeginMarker) && e.frame.ends_with(kEndMarker));
            Check(e.frame.size() <= bound);
            Message m;
            Check(ParseMessage(e.frame, m) == e.parsed);
            Check(m == e.message);
            MessageView v;
            std::string scratch;
            Check(ParseMessageView(e.frame, v, scratch) == e.parsed);
            Check(v.code == m.code && v.source == m.source && v.destination == m.destination &&
                  v.payload == m.payload);
            if (e.parsed) {
                (void)CodeNumber(m.code);
                for (int part = -1; part <= 3; ++part)
                    (void)UserKeyPart(m.source, part);
            }
            seen.frames.push_back(e.frame);
            break;
        }
        case Kind::ServerNotice:
            seen.notice = true;
            break;
        case Kind::Overflow:
            seen.overflow = true;
            break;
        case Kind::Junk:
        case Kind::Partial:
            break;
        }
    }
    // Kept data never grows past the bound by more than one chunk.
    Check(r.Buffered() <= bound + chunk.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // First byte: a small bound so that overflow is reached often.
    const std::size_t smallBound = 16 + std::size_t(data[0]) * 8;
    const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);

    // Chunks: a length byte, then that many bytes.
    std::vector<std::string_view> chunks;
    std::string stream;
    for (std::size_t pos = 0; pos < input.size();) {
        const std::size_t len = static_cast<unsigned char>(input[pos++]);
        const std::string_view chunk = input.substr(pos, len);
        chunks.push_back(chunk);
        stream.append(chunk);
        pos += chunk.size();
    }

    const std::size_t bigBound = kMaxFrameBytes;
    Reassembler cut(bigBound), whole(bigBound), tight(smallBound);
    Seen seenCut, seenWhole, seenTight;
    for (const auto chunk : chunks) {
        Collect(cut, chunk, bigBound, seenCut);
        Collect(tight, chunk, smallBound, seenTight);
    }
    Collect(whole, stream, bigBound, seenWhole);

    // Without the bare notice (recognised only as a chunk of its own) and
    // without overflow, the cut does not change which frames come out.
    if (!seenCut.notice && !seenWhole.notice && !seenCut.overflow && !seenWhole.overflow) {
        Check(seenCut.frames == seenWhole.frames);
        Check(cut.Buffered() == whole.Buffered());
    }

    // Scan accounts for every byte: dropped junk, frames, and what is kept.
    Reassembler counted(bigBound);
    std::size_t accounted = 0;
    bool notice = false;
    for (const auto chunk : chunks) {
        counted.Scan(chunk, [&](Kind kind, std::string_view bytes) {
            if (kind == Kind::Junk || kind == Kind::Frame)
                accounted += bytes.size();
            notice |= kind == Kind::ServerNotice;
            return true;
        });
    }
    if (!notice)
        Check(accounted + counted.Buffered() == stream.size());

    // The single-frame helpers on the raw input too.
    Message m;
    (void)ParseMessage(input, m);
    (void)CodeNumber(input.substr(0, 32));
    (void)ReplaceString(input, kBeginMarker, "");
    return 0;
}
