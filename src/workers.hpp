// The run's thread team: the calling thread and helpers that live as long as
// the team, taking items in shares.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// The threads of a run: the calling thread and up to threads - 1 helpers that
// live as long as the object (created once per run, never per generation),
// each helper with a stack of kWorkerStackBytes.
inline constexpr std::size_t kWorkerStackBytes = std::size_t{1} << 20;

class Workers {
 public:
  // Starts up to threads - 1 helpers; if the system refuses one, fewer (same
  // results).
  explicit Workers(int threads);
  // Stops and joins the helpers.
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Threads taking part, the calling thread included: 1 to threads.
  int count() const;

  // Calls task(item, worker) for every item in [0, items), handing out items
  // in shares of `share` consecutive items in rising order to whichever
  // thread is free; `worker` (0 to count() - 1, 0 = the calling thread) lets
  // a task use per-thread scratch. Returns when every task has ended. When
  // tasks throw, no share past the lowest failing item is started, and the
  // exception of the lowest failing item is rethrown.
  void forEach(std::size_t items, std::size_t share,
               const std::function<void(std::size_t item, int worker)>& task);

 private:
  struct Job;
  struct Start {
    Workers* team;
    int worker;
  };
  static void* serve(void* start);
  void serveAs(int worker);

  std::vector<Start> starts_;  // what each helper is started with
  std::vector<pthread_t> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;  // a new job, or the end
  std::condition_variable idle_;  // every helper done with the job
  Job* job_ = nullptr;
  std::uint64_t round_ = 0;  // jobs handed out so far
  std::size_t busy_ = 0;     // helpers still on the job
  bool stopping_ = false;
};
