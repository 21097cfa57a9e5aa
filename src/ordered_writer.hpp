// The written evaluation on several threads: each block (one individual's
// lines) is made by one thread, and the calling thread alone writes the
// blocks in order, line by line as writeLine writes them; so the transcript
// is byte for byte that of one thread, and so are its flushes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "transcript.hpp"

// Finished lines that wait for the writer hold at most this much: a thread
// whose block is not next waits rather than hand over more (the block being
// written may always hand over one chunk more).
inline constexpr std::size_t kWindowBytes = std::size_t{8} << 20;

// And no thread starts a block this many blocks or more ahead of the writer.
inline constexpr std::size_t kWindowBlocks = 1024;

// A thread hands its lines over in chunks of about this size, or fewer at a
// block's end; a chunk in the making holds less, plus one line.
inline constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

class OrderedWriter;

// Where the lines of one block go as they are made: written at once (the
// writer's own block once it is next, or any block without a writer), or
// handed to the writer in chunks.
class BlockLines {
 public:
  BlockLines() = default;  // every line written at once
  BlockLines(OrderedWriter& writer, std::size_t block, int worker);
  BlockLines(const BlockLines&) = delete;
  BlockLines& operator=(const BlockLines&) = delete;

  // One line, as writeLine(parts...) writes it.
  template <typename... Parts>
  void add(const Parts&... parts) {
    (transcript_detail::append(text_, parts), ...);
    endLine();
  }

  // The block is complete.
  void end();

 private:
  friend class OrderedWriter;

  void endLine();
  // The block failed: the lines made so far are handed over all the same.
  void endFailed();

  OrderedWriter* writer_ = nullptr;
  std::size_t block_ = 0;
  bool writes_ = false;  // made by the thread that writes
  bool direct_ = true;
  std::string text_;  // the line (direct) or the chunk in the making
};

// Thrown to a block's maker once its lines will never be written.
struct WritingStopped {};

class OrderedWriter {
 public:
  // For blocks 0 to blocks - 1; the thread that makes it is the writer.
  explicit OrderedWriter(std::size_t blocks);

  // Makes block `block` on `worker` (0: the writer): make(lines) adds its
  // lines. A failure is kept for rethrowFailure, and then no block past it
  // is made or written; the lines before it are all written.
  void make(std::size_t block, int worker,
            const std::function<void(BlockLines&)>& make);

  // For the writer between blocks: writes what is ready; with `all`, waits
  // until every block is written or the writing has stopped.
  void serve(bool all);

  // The failure of the lowest block, if any: as one thread would meet it.
  void rethrowFailure() const;

 private:
  friend class BlockLines;

  struct Slot {
    std::vector<std::string> chunks;
    std::size_t written = 0;  // chunks written already
    bool done = false;        // every chunk is in
    bool failed = false;
  };

  Slot& slot(std::size_t block) { return slots_[block % slots_.size()]; }
  bool abandoned(std::size_t block) const {
    return stopped_ || block > failedBlock_;
  }
  // Whether `block`'s maker may hand over `bytes` more.
  bool fits(std::size_t block, std::size_t bytes);

  // The writer's loop: writes ready chunks and passes finished blocks
  // until `satisfied` holds once nothing is ready (at once unless `wait`).
  template <typename Satisfied>
  void serveLocked(std::unique_lock<std::mutex>& lock, bool wait,
                   Satisfied satisfied);
  void advance();
  void failLocked(std::size_t block, std::exception_ptr error);

  // Called through BlockLines. Each returns whether the block is written
  // directly from now on: the writer's block, once it is next.
  bool open(std::size_t block, bool writer);
  bool handOver(std::size_t block, bool writer, std::string& chunk, bool last);
  bool serveBeside(std::size_t block, std::string& chunk);
  void closeDirect();

  std::mutex mutex_;
  std::condition_variable writerWake_;  // the next block has lines, or ends
  std::condition_variable makerWake_;   // room, or the writing stopped
  std::atomic<bool> ready_{false};      // the writer has something to do
  std::vector<Slot> slots_;
  std::size_t blocks_;
  std::size_t head_ = 0;    // the block being written
  std::size_t queued_ = 0;  // what the chunks not written yet hold
  bool stopped_ = false;
  std::size_t failedBlock_;
  std::exception_ptr failure_;
};

// Writes a chunk's lines, each as writeLine writes a line.
void writeChunk(const std::string& chunk);
