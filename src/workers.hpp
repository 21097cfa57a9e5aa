// The threads of a run: the calling thread and helpers that live as long as
// the team, so that a run starts its threads once, whatever its length.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A helper's stack. Its work nests no deeper than a tree (31 levels) with
// small frames; sanitizer builds widen every frame, so they get more.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kWorkerStackBytes = std::size_t{4} << 20;
#else
inline constexpr std::size_t kWorkerStackBytes = std::size_t{256} << 10;
#endif

// The address space one helper takes: its stack, the guard page below it,
// and the thread's own records (its thread-local storage), generously.
inline constexpr std::size_t kHelperBytes = kWorkerStackBytes + (64 << 10);

// The CPUs this process may run on (its affinity mask, as nproc counts
// them); at least 1.
int usableCpus();

class Workers {
 public:
  using Task = std::function<void(std::size_t item, int worker)>;

  // Starts up to threads - 1 helpers; if the system refuses one, fewer (the
  // results are the same).
  explicit Workers(int threads);
  // Stops and joins the helpers.
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Threads taking part, the calling thread included: 1 to threads.
  int count() const { return static_cast<int>(helpers_.size()) + 1; }

  // Calls task(item, worker) for every item in [0, items), handing out items
  // in shares of `share` consecutive items in rising order to whichever
  // thread is free; `worker` (0 to count() - 1, 0 = the calling thread) lets
  // a task use per-thread scratch. Returns when every task has ended. When
  // tasks throw, no share past the lowest failing item is started, and the
  // exception of the lowest failing item is rethrown. One caller at a time;
  // a task may not call forEach.
  void forEach(std::size_t items, std::size_t share, const Task& task);

  // forEach in which the calling thread runs meanwhile(false) before each
  // share it takes, and meanwhile(true) once none is left for it, before it
  // waits for the helpers: work of its own beside theirs, such as writing
  // out what they made. It leaves the last shares, no more than there are
  // helpers, to them: its own work then need not wait for a share. An exception
  // from meanwhile ends the call once the helpers are done, in preference to
  // the tasks' own.
  void forEach(std::size_t items, std::size_t share, const Task& task,
               const std::function<void(bool done)>& meanwhile);

 private:
  struct Failure {
    std::size_t item = 0;
    std::exception_ptr error;
  };

  void helperLoop(int worker);
  template <typename Waiting>
  void spinWhile(Waiting waiting);
  void takeShares(int worker, const std::function<void(bool)>* meanwhile);

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;      // helpers: a job, or the end
  std::condition_variable finished_;  // the caller: the helpers are done
  std::atomic<bool> stopping_{false};
  bool spins_ = false;     // no thread waits for a CPU
  unsigned long job_ = 0;  // counts the calls that wanted helpers
  // The same, and the last call whose helpers are all done, for a waiting
  // thread to spin on before it sleeps.
  std::atomic<unsigned long> posted_{0};
  std::atomic<unsigned long> done_{0};
  int wanted_ = 0;   // helpers the current call uses
  int helping_ = 0;  // the same, for the calling thread to read
  int running_ = 0;  // of them, those not done yet
  // The current call: read by the helpers after they see its job number.
  const Task* task_ = nullptr;
  std::size_t items_ = 0;
  std::size_t share_ = 1;
  std::atomic<std::size_t> next_{0};  // the first item not handed out
  // The lowest failing item (items_ for none): no share past it starts.
  std::atomic<std::size_t> firstFailure_{0};
  std::vector<Failure> failures_;  // one per worker
};
