#include "workers.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>

struct Workers::Job {
  Job(std::size_t count, std::size_t perShare,
      const std::function<void(std::size_t, int)>& each)
      : items(count), share(perShare), task(each) {}

  std::size_t items;
  std::size_t share;
  const std::function<void(std::size_t, int)>& task;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> firstFailure{
      std::numeric_limits<std::size_t>::max()};
  std::mutex failing;
  std::exception_ptr error;  // that of the lowest failing item

  // Takes shares until none is left or one lies past a failure.
  void work(int worker) {
    for (;;) {
      const std::size_t start = next.fetch_add(share);
      if (start >= items || start > firstFailure.load()) return;
      const std::size_t end = std::min(items, start + share);
      for (std::size_t item = start; item < end; ++item) {
        try {
          task(item, worker);
        } catch (...) {
          const std::lock_guard lock(failing);
          if (item < firstFailure.load()) {
            firstFailure.store(item);
            error = std::current_exception();
          }
          return;
        }
      }
    }
  }
};

Workers::Workers(int threads) {
  // Reserved first: nothing may throw once a helper runs.
  const auto helpers = static_cast<std::size_t>(std::max(threads, 1) - 1);
  starts_.reserve(helpers);
  helpers_.reserve(helpers);
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
  for (std::size_t k = 0; k < helpers; ++k) {
    starts_.push_back({this, static_cast<int>(k) + 1});
    pthread_t helper;
    if (pthread_create(&helper, &attributes, &Workers::serve, &starts_[k]) !=
        0) {
      break;  // fewer threads give the same results
    }
    helpers_.push_back(helper);
  }
  pthread_attr_destroy(&attributes);
}

Workers::~Workers() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (const pthread_t helper : helpers_) pthread_join(helper, nullptr);
}

int Workers::count() const { return static_cast<int>(helpers_.size()) + 1; }

void* Workers::serve(void* start) {
  const Start& begun = *static_cast<const Start*>(start);
  begun.team->serveAs(begun.worker);
  return nullptr;
}

void Workers::serveAs(int worker) {
  std::uint64_t seen = 0;
  for (;;) {
    Job* job = nullptr;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || round_ != seen; });
      if (stopping_) return;
      seen = round_;
      job = job_;
    }
    job->work(worker);
    const std::lock_guard lock(mutex_);
    if (--busy_ == 0) idle_.notify_one();
  }
}

void Workers::forEach(
    std::size_t items, std::size_t share,
    const std::function<void(std::size_t item, int worker)>& task) {
  if (items == 0) return;
  Job job(items, std::max<std::size_t>(share, 1), task);
  {
    const std::lock_guard lock(mutex_);
    job_ = &job;
    ++round_;
    busy_ = helpers_.size();
  }
  wake_.notify_all();
  job.work(0);
  {
    // Every helper takes part in every job, if only to find it done.
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return busy_ == 0; });
    job_ = nullptr;
  }
  if (job.error) std::rethrow_exception(job.error);
}
