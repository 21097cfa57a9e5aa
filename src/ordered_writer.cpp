#include "ordered_writer.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "progress.hpp"

void writeChunk(const std::string& chunk) {
  const std::string_view text = chunk;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);  // every line has one
    writeText(text.substr(start, end - start));
    start = end + 1;
  }
}

BlockLines::BlockLines(OrderedWriter& writer, std::size_t block, int worker)
    : writer_(&writer), block_(block), writes_(worker == 0) {
  direct_ = writer.open(block, writes_);
}

void BlockLines::endLine() {
  if (direct_) {
    writeText(text_);
    text_.clear();
    transcript_detail::releaseIfLarge(text_);
    return;
  }
  text_ += '\n';
  if (text_.size() >= kChunkBytes) {
    direct_ = writer_->handOver(block_, writes_, text_, false);
  } else if (writes_ && writer_->ready_.load(std::memory_order_relaxed)) {
    // The writer's own block waits: what the others made goes out meanwhile.
    direct_ = writer_->serveBeside(block_, text_);
  }
}

void BlockLines::end() {
  if (writer_ == nullptr) return;
  if (!direct_) direct_ = writer_->handOver(block_, writes_, text_, true);
  if (direct_) writer_->closeDirect();
}

void BlockLines::endFailed() {
  if (writer_ == nullptr || direct_) return;
  // A line cut short by the failure is not one of the block's lines.
  text_.resize(text_.rfind('\n') + 1);
  direct_ = writer_->handOver(block_, writes_, text_, false);
}

OrderedWriter::OrderedWriter(std::size_t blocks)
    : slots_(std::clamp<std::size_t>(blocks, 1, kWindowBlocks)),
      blocks_(blocks),
      failedBlock_(blocks) {}

void OrderedWriter::make(std::size_t block, int worker,
                         const std::function<void(BlockLines&)>& makeLines) {
  {
    const std::lock_guard lock(mutex_);
    if (abandoned(block)) return;
  }
  try {
    BlockLines lines(*this, block, worker);
    try {
      makeLines(lines);
      lines.end();
    } catch (const WritingStopped&) {
      throw;
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      // The lines made before the failure are written, as one thread
      // writes them; the block must end in any case, or the writer waits.
      try {
        lines.endFailed();
      } catch (const WritingStopped&) {
        throw;
      } catch (...) {
      }
      const std::lock_guard lock(mutex_);
      failLocked(block, error);
    }
  } catch (const WritingStopped&) {
    // An earlier block failed or the writing did: this one is not needed.
  }
}

void OrderedWriter::serve(bool all) {
  std::unique_lock lock(mutex_);
  serveLocked(lock, all, [&] { return head_ == blocks_; });
}

void OrderedWriter::rethrowFailure() const {
  if (failure_) std::rethrow_exception(failure_);
}

bool OrderedWriter::fits(std::size_t block, std::size_t bytes) {
  if (queued_ + bytes <= kWindowBytes) return true;
  // The next block's maker never waits on the others: the writer waits on it.
  const Slot& next = slot(block);
  return block == head_ && next.written == next.chunks.size();
}

template <typename Satisfied>
void OrderedWriter::serveLocked(std::unique_lock<std::mutex>& lock, bool wait,
                                Satisfied satisfied) {
  for (;;) {
    ready_.store(false, std::memory_order_relaxed);
    if (stopped_) return;
    if (head_ < blocks_) {
      Slot& next = slot(head_);
      if (next.written < next.chunks.size()) {
        const std::string chunk = std::move(next.chunks[next.written++]);
        if (next.written == next.chunks.size()) {
          next.chunks.clear();
          next.written = 0;
        }
        lock.unlock();
        try {
          writeChunk(chunk);
        } catch (...) {
          lock.lock();
          failLocked(head_, std::current_exception());
          stopped_ = true;
          return;
        }
        lock.lock();
        queued_ -= chunk.capacity();
        // Makers that wait for room wake once half the window is free, not
        // at every chunk: each wake-up may cost the writer its processor.
        // The next block's maker waits only for its own chunks to go.
        if (queued_ <= kWindowBytes / 2 || next.chunks.empty()) {
          makerWake_.notify_all();
        }
        continue;
      }
      if (next.done && next.failed) {
        stopped_ = true;
        makerWake_.notify_all();
        return;
      }
      if (next.done) {
        advance();
        continue;
      }
    }
    if (!wait || satisfied()) return;
    writerWake_.wait(lock);
  }
}

void OrderedWriter::advance() {
  slot(head_) = Slot{};
  ++head_;
  makerWake_.notify_all();
  if (head_ < blocks_) {
    showProgress(static_cast<long long>(head_),
                 static_cast<long long>(blocks_));
  }
}

void OrderedWriter::failLocked(std::size_t block, std::exception_ptr error) {
  if (block < failedBlock_) {
    failedBlock_ = block;
    failure_ = std::move(error);
  }
  Slot& failed = slot(block);
  failed.done = true;
  failed.failed = true;
  ready_.store(true, std::memory_order_relaxed);
  writerWake_.notify_one();
  makerWake_.notify_all();
}

bool OrderedWriter::open(std::size_t block, bool writer) {
  std::unique_lock lock(mutex_);
  const auto inWindow = [&] { return block < head_ + slots_.size(); };
  if (writer) {
    serveLocked(lock, true, inWindow);
  } else {
    makerWake_.wait(lock, [&] { return stopped_ || inWindow(); });
  }
  if (abandoned(block)) throw WritingStopped{};
  return writer && block == head_;
}

bool OrderedWriter::handOver(std::size_t block, bool writer, std::string& chunk,
                             bool last) {
  std::unique_lock lock(mutex_);
  // Counted as the memory the chunk holds, not its text alone.
  const std::size_t bytes = chunk.capacity();
  if (writer) {
    serveLocked(lock, true,
                [&] { return block == head_ || fits(block, bytes); });
  } else {
    makerWake_.wait(lock,
                    [&] { return abandoned(block) || fits(block, bytes); });
  }
  if (abandoned(block)) throw WritingStopped{};
  if (writer && block == head_) {
    // Its chunks before this one are written: the rest goes out directly.
    lock.unlock();
    const std::string taken = std::exchange(chunk, std::string());
    writeChunk(taken);
    return true;
  }
  Slot& own = slot(block);
  if (!chunk.empty()) {
    own.chunks.push_back(std::move(chunk));
    chunk = std::string();
    queued_ += bytes;
  }
  own.done = last;
  if (block != head_) return false;
  ready_.store(true, std::memory_order_relaxed);
  lock.unlock();
  writerWake_.notify_one();
  return false;
}

bool OrderedWriter::serveBeside(std::size_t block, std::string& chunk) {
  std::unique_lock lock(mutex_);
  serveLocked(lock, false, [] { return true; });
  if (abandoned(block)) throw WritingStopped{};
  if (block != head_) return false;
  lock.unlock();
  const std::string taken = std::exchange(chunk, std::string());
  writeChunk(taken);
  return true;
}

void OrderedWriter::closeDirect() {
  const std::lock_guard lock(mutex_);
  advance();
}
