#include "workers.hpp"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>

namespace {

// While it lives, new threads get stacks of `bytes`: std::thread takes the
// process's default thread attributes, which this sets and then restores.
class DefaultStackSize {
 public:
  explicit DefaultStackSize(std::size_t bytes) {
    if (pthread_getattr_default_np(&saved_) != 0) return;
    pthread_attr_t attributes;
    if (pthread_getattr_default_np(&attributes) == 0) {
      changed_ = pthread_attr_setstacksize(&attributes, bytes) == 0 &&
                 pthread_setattr_default_np(&attributes) == 0;
      pthread_attr_destroy(&attributes);
    }
  }
  ~DefaultStackSize() {
    if (changed_) pthread_setattr_default_np(&saved_);
    pthread_attr_destroy(&saved_);
  }
  DefaultStackSize(const DefaultStackSize&) = delete;
  DefaultStackSize& operator=(const DefaultStackSize&) = delete;

 private:
  pthread_attr_t saved_{};
  bool changed_ = false;
};

}  // namespace

int usableCpus() {
  // A machine with more CPUs than a set holds makes the call fail with
  // EINVAL: the set doubles until it fits.
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* const set = CPU_ALLOC(cpus);
    if (set == nullptr) break;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    const int status = sched_getaffinity(0, size, set);
    const int error = errno;
    const int count = status == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (status == 0) return std::max(count, 1);
    if (error != EINVAL) break;
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, unsigned{INT_MAX}));
}

Workers::Workers(int threads) {
  const int helpers = std::max(threads, 1) - 1;
  helpers_.reserve(static_cast<std::size_t>(helpers));
  // Under an address-space limit the helpers share the calling thread's
  // heap: a heap of their own would reserve 64 MiB of addresses each.
  if (rlimit limit{}; helpers > 0 && getrlimit(RLIMIT_AS, &limit) == 0 &&
                      limit.rlim_cur != RLIM_INFINITY) {
    mallopt(M_ARENA_MAX, 1);
  }
  spins_ = threads <= usableCpus();
  const DefaultStackSize stack(kWorkerStackBytes);
  for (int worker = 1; worker <= helpers; ++worker) {
    try {
      helpers_.emplace_back(&Workers::helperLoop, this, worker);
    } catch (const std::system_error&) {
      break;  // fewer threads give the same results
    }
  }
}

Workers::~Workers() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

// A thread that waits for the other side spins a while before it sleeps,
// when each thread has a CPU of its own: a generation's calls follow each
// other within microseconds, and a thread woken from sleep may take a
// millisecond to run again.
template <typename Waiting>
void Workers::spinWhile(Waiting waiting) {
  if (!spins_) return;
  constexpr auto kSpin = std::chrono::microseconds(200);
  const auto until = std::chrono::steady_clock::now() + kSpin;
  while (waiting() && !stopping_.load(std::memory_order_relaxed)) {
#if defined(__x86_64__) || defined(__i386__)
    for (int pause = 0; pause < 64; ++pause) __builtin_ia32_pause();
#endif
    if (std::chrono::steady_clock::now() > until) return;
  }
}

void Workers::helperLoop(int worker) {
  unsigned long seen = 0;
  for (;;) {
    spinWhile([&] { return posted_.load(std::memory_order_acquire) == seen; });
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] {
        return stopping_ || (job_ != seen && worker <= wanted_);
      });
      if (stopping_) return;
      seen = job_;
    }
    takeShares(worker, nullptr);
    const std::lock_guard lock(mutex_);
    if (--running_ == 0) {
      done_.store(job_, std::memory_order_release);
      finished_.notify_one();
    }
  }
}

void Workers::takeShares(int worker,
                         const std::function<void(bool)>* meanwhile) {
  Failure& failure = failures_[static_cast<std::size_t>(worker)];
  for (;;) {
    if (meanwhile != nullptr) (*meanwhile)(false);
    std::size_t start = next_.load();
    std::size_t end = 0;
    do {
      // The calling thread has work of its own beside the tasks (writing
      // out what they made): the last shares it leaves to the helpers.
      const bool leaves = meanwhile != nullptr && helping_ > 0 &&
                          start < items_ &&
                          (items_ - start + share_ - 1) / share_ <=
                              static_cast<std::size_t>(helping_);
      if (leaves || start >= items_ || start > firstFailure_.load()) {
        if (meanwhile != nullptr) (*meanwhile)(true);
        return;
      }
      end = start + std::min(share_, items_ - start);
    } while (!next_.compare_exchange_weak(start, end));
    for (std::size_t item = start; item < end; ++item) {
      try {
        (*task_)(item, worker);
      } catch (...) {
        failure = {item, std::current_exception()};
        for (std::size_t seen = firstFailure_.load();
             item < seen && !firstFailure_.compare_exchange_weak(seen, item);) {
        }
        // The shares past it are not needed: its error ends the call.
        end = start;
        break;
      }
    }
    if (end == start) {
      if (meanwhile != nullptr) (*meanwhile)(true);
      return;
    }
  }
}

void Workers::forEach(std::size_t items, std::size_t share, const Task& task) {
  forEach(items, share, task, nullptr);
}

void Workers::forEach(std::size_t items, std::size_t share, const Task& task,
                      const std::function<void(bool done)>& meanwhile) {
  share = std::clamp<std::size_t>(share, 1, std::max<std::size_t>(items, 1));
  const std::size_t shares = (items + share - 1) / share;
  const int wanted = static_cast<int>(
      std::min<std::size_t>(helpers_.size(), shares == 0 ? 0 : shares - 1));
  task_ = &task;
  helping_ = wanted;
  items_ = items;
  share_ = share;
  next_ = 0;
  firstFailure_ = items;
  failures_.assign(static_cast<std::size_t>(count()), Failure{});
  if (wanted > 0) {
    {
      const std::lock_guard lock(mutex_);
      wanted_ = wanted;
      running_ = wanted;
      ++job_;
      posted_.store(job_, std::memory_order_release);
    }
    wake_.notify_all();
  }
  std::exception_ptr own;
  try {
    takeShares(0, meanwhile ? &meanwhile : nullptr);
  } catch (...) {
    own = std::current_exception();  // from meanwhile: no share starts now
    firstFailure_ = 0;
  }
  if (wanted > 0) {
    const unsigned long job = posted_.load(std::memory_order_relaxed);
    spinWhile([&] { return done_.load(std::memory_order_acquire) != job; });
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return running_ == 0; });
  }
  task_ = nullptr;
  if (own) std::rethrow_exception(own);
  const Failure* first = nullptr;
  for (const Failure& failure : failures_) {
    if (failure.error && (first == nullptr || failure.item < first->item)) {
      first = &failure;
    }
  }
  if (first != nullptr) std::rethrow_exception(first->error);
}
