// The staged write: pieces made by the calling thread, written by a second.
#include "file/piece_writer.h"

#include <algorithm>
#include <bit>

namespace ddsswizzle::file {
namespace {

// Contents up to this size are made whole, in one buffer, by one thread.
constexpr std::uint64_t small_contents = std::uint64_t{2} << 20U;
// The pieces of larger contents: a power of two between these, so that the
// layouts' own power-of-two units fall whole into pieces. Pieces of 1 to 4
// MiB cost the conversion no more than the whole, and the two buffers stay
// small next to the file read whole.
constexpr std::uint64_t least_piece = std::uint64_t{1} << 20U;
constexpr std::uint64_t most_piece = std::uint64_t{4} << 20U;

struct Bounds {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

Bounds bounds(const Staging& s, std::uint64_t k) noexcept {
    return {k == 0 ? 0 : s.first + k * s.piece_bytes, std::min(s.first + (k + 1) * s.piece_bytes, s.length)};
}

// Piece k's place: the two buffers in turn.
std::span<std::byte> buffer(const Staging& s, std::uint64_t k) noexcept {
    const Bounds b = bounds(s, k);
    return {s.buffer.get() + k % 2 * s.capacity, static_cast<std::size_t>(b.end - b.begin)};
}

// What the two threads share: the counts and flags under the worker's lock.
// Piece k is in buffer k % 2, so the maker may make piece k only once piece
// k - 2 is written.
struct Handover {
    Replacement* replacement = nullptr;
    const Staging* staging = nullptr;
    detail::Worker* worker = nullptr;
    std::uint64_t made = 0;     // pieces made
    std::uint64_t written = 0;  // pieces written, or passed over after a failure
    bool no_more = false;       // the maker has stopped
    bool failed = false;        // a write failed: nothing more is written
};

// The second thread: writes each piece once it is made, until the maker
// stops.
void write_made_pieces(void* argument) noexcept {
    Handover& h = *static_cast<Handover*>(argument);
    detail::lock(*h.worker);
    for (;;) {
        while (h.written == h.made && !h.no_more) detail::wait(*h.worker);
        if (h.written == h.made) break;
        const std::uint64_t k = h.written;
        const bool pass_over = h.failed;
        detail::unlock(*h.worker);
        const bool wrote = pass_over || write_part(*h.replacement, buffer(*h.staging, k)) == FileStatus::ok;
        if (wrote && !pass_over) detail::start_writeback(*h.replacement, bounds(*h.staging, k).begin, buffer(*h.staging, k).size());
        detail::lock(*h.worker);
        h.failed = h.failed || !wrote;
        ++h.written;
        detail::wake(*h.worker);
    }
    detail::unlock(*h.worker);
}

PiecesStatus write_in_turn(Replacement& replacement, const Staging& s, const PieceMaker& maker) noexcept {
    for (std::uint64_t k = 0; k < s.pieces; ++k) {
        if (!maker.make(maker.context, bounds(s, k).begin, buffer(s, k))) return PiecesStatus::not_made;
        if (write_part(replacement, buffer(s, k)) != FileStatus::ok) return PiecesStatus::cannot_write;
    }
    return PiecesStatus::written;
}

}  // namespace

bool prepare_staging(std::uint64_t length, std::uint64_t first, Staging& staging) noexcept {
    Staging& s = staging;
    s.length = length;
    const bool small = length <= small_contents;
    s.piece_bytes = small ? std::max<std::uint64_t>(length, 1) : std::bit_floor(std::clamp(length / 16, least_piece, most_piece));
    s.first = small ? 0 : first % s.piece_bytes;
    s.pieces = length <= s.first + s.piece_bytes ? 1 : (length - s.first + s.piece_bytes - 1) / s.piece_bytes;
    s.capacity = static_cast<std::size_t>(std::min(s.first + s.piece_bytes, length));
    s.buffer = allocate_payload_buffer(s.pieces > 1 ? 2 * s.capacity : s.capacity);
    return s.buffer != nullptr;
}

PiecesStatus write_pieces(Replacement& replacement, const Staging& staging, const PieceMaker& maker) noexcept {
    detail::Worker* worker = staging.pieces > 1 ? detail::new_worker() : nullptr;
    Handover h{&replacement, &staging, worker};
    if (worker == nullptr || !detail::start_worker(*worker, write_made_pieces, &h)) {
        detail::end_worker(worker);
        return write_in_turn(replacement, staging, maker);
    }
    bool made = true;
    for (std::uint64_t k = 0; k < staging.pieces && made; ++k) {
        detail::lock(*worker);
        while (k >= h.written + 2 && !h.failed) detail::wait(*worker);
        const bool stop = h.failed;
        detail::unlock(*worker);
        if (stop) break;
        made = maker.make(maker.context, bounds(staging, k).begin, buffer(staging, k));
        detail::lock(*worker);
        h.made += made ? 1 : 0;
        detail::wake(*worker);
        detail::unlock(*worker);
    }
    detail::lock(*worker);
    h.no_more = true;
    detail::wake(*worker);
    detail::unlock(*worker);
    detail::end_worker(worker);  // once the last piece made is written
    if (!made) return PiecesStatus::not_made;
    return h.failed ? PiecesStatus::cannot_write : PiecesStatus::written;
}

}  // namespace ddsswizzle::file
