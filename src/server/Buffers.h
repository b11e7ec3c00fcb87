// Output buffers of the relay: reference-counted blocks from a small pool and a
// per-connection queue of slices into them. A frame sent to many members is
// built once and shared by every queue, however far behind; small frames for one
// member are packed together. The pool meters the memory of blocks and of the
// queues' slice arrays, for the relay's memory budget.
#pragma once

#include <asio/buffer.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace zestrel::server
{

struct Block {
    std::uint32_t refs;
    std::uint32_t size; // bytes written
    std::uint32_t cap;
    std::uint32_t sizeClass; // pool class, or kExact for a one-off large block

    static constexpr std::uint32_t kExact = 0xffffffffu;

    char *data() noexcept { return reinterpret_cast<char *>(this + 1); }
    std::size_t room() const noexcept { return cap - size; }
    void Append(std::string_view s) noexcept
    {
        if (s.empty()) // memcpy from a null view is undefined even for zero bytes
            return;
        std::memcpy(data() + size, s.data(), s.size());
        size += static_cast<std::uint32_t>(s.size());
    }
};
static_assert(sizeof(Block) == 16, "block data must stay aligned");

class BlockPool
{
  public:
    static constexpr std::array<std::uint32_t, 4> kClasses{256, 1024, 4096, 16384};
    // Free blocks kept per class; beyond this they go back to the allocator so
    // memory falls again after a burst.
    static constexpr std::size_t kKeepBytesPerClass = 256 * 1024;

    BlockPool() = default;
    BlockPool(const BlockPool &) = delete;
    BlockPool &operator=(const BlockPool &) = delete;
    ~BlockPool()
    {
        for (auto &list : free_)
            for (Block *b : list)
                ::operator delete(b);
    }

    // A block with room for at least `need` bytes, holding one reference.
    Block *Get(std::size_t need)
    {
        for (std::uint32_t c = 0; c < kClasses.size(); ++c) {
            if (need <= kClasses[c]) {
                Block *b;
                if (!free_[c].empty()) {
                    b = free_[c].back();
                    free_[c].pop_back();
                } else {
                    b = New(kClasses[c]);
                    b->sizeClass = c;
                }
                b->refs = 1;
                b->size = 0;
                return b;
            }
        }
        Block *b = New(need);
        b->sizeClass = Block::kExact;
        b->refs = 1;
        b->size = 0;
        return b;
    }

    static void AddRef(Block *b) noexcept { ++b->refs; }

    // Bytes held: every block (in use or free) plus what Charge recorded.
    std::size_t Bytes() const noexcept { return bytes_; }
    // Bytes held by free blocks only.
    std::size_t FreeBytes() const noexcept
    {
        std::size_t n = 0;
        for (std::size_t c = 0; c < free_.size(); ++c)
            n += free_[c].size() * (sizeof(Block) + kClasses[c]);
        return n;
    }
    // Records memory owned elsewhere (a queue's slice array) in Bytes.
    void Charge(std::ptrdiff_t delta) noexcept
    {
        bytes_ = std::size_t(std::ptrdiff_t(bytes_) + delta);
    }

    // Hands every free block back to the allocator (the server has gone quiet).
    void Trim()
    {
        for (auto &list : free_) {
            for (Block *b : list)
                Delete(b);
            std::vector<Block *>().swap(list);
        }
    }

    std::size_t FreeBlocks() const noexcept
    {
        std::size_t n = 0;
        for (const auto &list : free_)
            n += list.size();
        return n;
    }

    void Release(Block *b)
    {
        if (--b->refs != 0)
            return;
        if (b->sizeClass != Block::kExact &&
            free_[b->sizeClass].size() * kClasses[b->sizeClass] < kKeepBytesPerClass) {
            free_[b->sizeClass].push_back(b);
            return;
        }
        Delete(b);
    }

  private:
    Block *New(std::size_t cap)
    {
        void *mem = ::operator new(sizeof(Block) + cap);
        Block *b = new (mem) Block{};
        b->cap = static_cast<std::uint32_t>(cap);
        bytes_ += sizeof(Block) + cap;
        return b;
    }

    void Delete(Block *b)
    {
        bytes_ -= sizeof(Block) + b->cap;
        ::operator delete(b);
    }

    std::size_t bytes_ = 0;

    std::array<std::vector<Block *>, kClasses.size()> free_;
};

// Bytes waiting to be written to one connection. Empty queues own no memory.
class OutputQueue
{
  public:
    static constexpr std::size_t kMaxGather = 64; // iovecs per write
    static constexpr std::size_t kPrivateBlock = 4096;

    OutputQueue() = default;
    OutputQueue(const OutputQueue &) = delete;
    OutputQueue &operator=(const OutputQueue &) = delete;
    ~OutputQueue() = default; // owners call Clear with their pool first

    bool Empty() const noexcept { return bytes_ == 0; }
    std::size_t Bytes() const noexcept { return bytes_; }

    void PushShared(BlockPool &pool, Block *b) { PushSlice(pool, b, 0, b->size); }

    // Bytes [offset, offset + length) of a shared block; what lies beyond may still
    // be appended to the block by its owner without touching this slice.
    void PushSlice(BlockPool &pool, Block *b, std::uint32_t offset, std::uint32_t length)
    {
        if (length == 0)
            return;
        BlockPool::AddRef(b);
        Push(pool, {b, offset, length});
        bytes_ += length;
    }

    void PushCopy(BlockPool &pool, std::string_view bytes)
    {
        if (bytes.empty())
            return;
        if (head_ < slices_.size()) {
            Slice &tail = slices_.back();
            Block *b = tail.block;
            // Append into the tail block when this queue is its only holder and
            // the slice ends where the block's data ends.
            if (b->refs == 1 && tail.offset + tail.length == b->size && b->room() >= bytes.size()) {
                b->Append(bytes);
                tail.length += static_cast<std::uint32_t>(bytes.size());
                bytes_ += bytes.size();
                return;
            }
        }
        Block *b = pool.Get(bytes.size() < kPrivateBlock ? kPrivateBlock : bytes.size());
        b->Append(bytes);
        Push(pool, {b, 0, static_cast<std::uint32_t>(bytes.size())});
        bytes_ += bytes.size();
    }

    // Fills up to max buffers from the front of the queue; returns how many.
    std::size_t Gather(asio::const_buffer *out, std::size_t max) const noexcept
    {
        std::size_t n = 0;
        for (std::size_t i = head_; i < slices_.size() && n < max; ++i, ++n)
            out[n] =
                asio::const_buffer(slices_[i].block->data() + slices_[i].offset, slices_[i].length);
        return n;
    }

    // Drops n written bytes from the front.
    void Consume(BlockPool &pool, std::size_t n)
    {
        while (n > 0 && head_ < slices_.size()) {
            Slice &s = slices_[head_];
            if (n >= s.length) {
                n -= s.length;
                bytes_ -= s.length;
                pool.Release(s.block);
                ++head_;
            } else {
                s.offset += static_cast<std::uint32_t>(n);
                s.length -= static_cast<std::uint32_t>(n);
                bytes_ -= n;
                n = 0;
            }
        }
        if (head_ == slices_.size()) {
            slices_.clear();
            head_ = 0;
        } else if (head_ >= 1024 && head_ * 2 >= slices_.size()) {
            slices_.erase(slices_.begin(), slices_.begin() + std::ptrdiff_t(head_));
            head_ = 0;
        }
    }

    // Gives back the slice array of a queue that grew large and then drained.
    void Compact(BlockPool &pool)
    {
        if (slices_.empty() && slices_.capacity() > 64)
            FreeSlices(pool);
    }

    // Gives back the slice array of any drained queue: an idle member then holds none.
    void ReleaseIdle(BlockPool &pool)
    {
        if (slices_.empty())
            FreeSlices(pool);
    }

    std::size_t SliceCapacity() const noexcept { return slices_.capacity(); }

    void Clear(BlockPool &pool)
    {
        for (std::size_t i = head_; i < slices_.size(); ++i)
            pool.Release(slices_[i].block);
        slices_.clear();
        FreeSlices(pool);
        head_ = 0;
        bytes_ = 0;
    }

  private:
    struct Slice {
        Block *block;
        std::uint32_t offset;
        std::uint32_t length;
    };

    void Push(BlockPool &pool, const Slice &s)
    {
        const std::size_t before = slices_.capacity();
        slices_.push_back(s);
        if (slices_.capacity() != before)
            pool.Charge(std::ptrdiff_t((slices_.capacity() - before) * sizeof(Slice)));
    }

    void FreeSlices(BlockPool &pool)
    {
        pool.Charge(-std::ptrdiff_t(slices_.capacity() * sizeof(Slice)));
        std::vector<Slice>().swap(slices_);
    }
    std::vector<Slice> slices_;
    std::size_t head_ = 0;
    std::size_t bytes_ = 0;
};

} // namespace zestrel::server
