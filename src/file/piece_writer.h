// Writing the new version of a file while it is being made, a piece at a
// time: the contents are never held whole, only a staging area of two
// buffers of a few MiB. While a second thread writes one finished piece to
// the temporary file, the calling thread makes the next in the other buffer;
// so the making is hidden behind the writing, and the pieces are still in
// the processor's cache when the system copies them.
//
// The pieces only feed the replacement (file_io.h): its promises stay, the
// temporary file, the flush, the rename and the folder's flush; a piece that
// cannot be made or written stops the writing, and the unfinished
// replacement is removed with the target untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "file/file_io.h"
#include "file/payload_buffer.h"

namespace ddsswizzle::file {

// Makes bytes [begin, begin + piece.size()) of the new contents into piece;
// false when it cannot.
struct PieceMaker {
    bool (*make)(const void* context, std::uint64_t begin, std::span<std::byte> piece) noexcept = nullptr;
    const void* context = nullptr;
};

// The staging area for new contents of `length` bytes, and how they are cut:
// piece 0 is [0, first + piece_bytes), piece k from first + k x piece_bytes
// on, so that a caller whose own units start at `first` (a texture's data
// after its header) gets them whole in every piece.
struct Staging {
    PayloadBuffer buffer;  // both buffers, one after the other
    std::uint64_t length = 0;
    std::uint64_t first = 0;
    std::uint64_t piece_bytes = 0;
    std::uint64_t pieces = 0;
    std::size_t capacity = 0;  // of each buffer
};

// Sizes and allocates the staging area (before anything is written, so that
// a want of memory changes nothing): one buffer holding the whole contents
// when they are small, where a second thread would cost more than it hides;
// otherwise two, of a sixteenth of the contents but at least 1 MiB and at
// most 4 MiB each. False when the memory cannot be had.
bool prepare_staging(std::uint64_t length, std::uint64_t first, Staging& staging) noexcept;

enum class PiecesStatus {
    written,
    not_made,      // the maker failed; nothing after that piece was written
    cannot_write,  // a write failed (the error is in the replacement's file)
};

// Makes every piece into the staging area and appends it to the
// replacement, in order: made by the calling thread while a second thread
// writes the piece before it, or by one thread in turn when the system gives
// no second one or there is one piece. Nothing is written after a piece that
// could not be made or written.
PiecesStatus write_pieces(Replacement& replacement, const Staging& staging, const PieceMaker& maker) noexcept;

namespace detail {

// A second thread, with the lock and the signal the two threads share: POSIX
// threads or Windows threads, in the platform files.
struct Worker;

// The lock and the signal, not yet a thread; null when the system has none
// to give.
Worker* new_worker() noexcept;
// Starts run(argument) on the second thread; false when it cannot be had.
bool start_worker(Worker& worker, void (*run)(void*), void* argument) noexcept;
void lock(Worker& worker) noexcept;
void unlock(Worker& worker) noexcept;
// Unlocks, sleeps until woken (or for no reason: check again), and locks.
void wait(Worker& worker) noexcept;
// Wakes every thread waiting.
void wake(Worker& worker) noexcept;
// Waits for the thread to end, if it was started, and frees it all.
void end_worker(Worker* worker) noexcept;

// Asks the system to start writing bytes [offset, offset + bytes) of the
// replacement to the disk now, without waiting, so that the flush before
// the rename finds less left to write (Linux; elsewhere nothing). Only a
// hint: the flush reports any failure.
void start_writeback(const Replacement& replacement, std::uint64_t offset, std::uint64_t bytes) noexcept;

}  // namespace detail
}  // namespace ddsswizzle::file
