// The run's thread team and the ordered writer, on several threads (the
// suite's name puts them under ThreadSanitizer too).
#include "workers.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "ordered_writer.hpp"
#include "support.hpp"

TEST(Threads, ForEachRunsEveryItemOnceAndRethrowsTheLowestFailure) {
  struct Case {
    int threads;
    std::size_t items, share;
    std::vector<std::size_t> failing;
  };
  const Case cases[] = {{1, 0, 1, {}},
                        {2, 1, 8, {}},
                        {3, 100, 1, {}},
                        {8, 100, 7, {}},
                        {8, 5, 100, {}},
                        {3, 1000, 8, {999}},
                        {2, 100, 3, {40, 7, 95}},
                        {8, 300, 1, {250, 13}},
                        {1, 50, 4, {20, 30}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.threads) + " threads, " +
                 std::to_string(c.items) + " items in shares of " +
                 std::to_string(c.share));
    Workers workers(c.threads);
    ASSERT_GE(workers.count(), 1);
    std::vector<std::atomic<int>> runs(c.items);
    std::atomic<bool> workerInRange = true;
    const auto task = [&](std::size_t item, int worker) {
      ++runs[item];
      if (worker < 0 || worker >= workers.count()) workerInRange = false;
      for (const std::size_t failing : c.failing)
        if (item == failing) throw std::runtime_error(std::to_string(item));
    };
    std::string thrown = "none";
    try {
      workers.forEach(c.items, c.share, task);
    } catch (const std::runtime_error& failure) {
      thrown = failure.what();
    }
    const std::size_t lowest =
        c.failing.empty()
            ? c.items
            : *std::min_element(c.failing.begin(), c.failing.end());
    EXPECT_EQ(thrown, c.failing.empty() ? "none" : std::to_string(lowest));
    EXPECT_TRUE(workerInRange);
    // Items past the lowest failure may have started before it was met.
    for (std::size_t item = 0; item < c.items; ++item) {
      const int times = runs[item];
      EXPECT_TRUE(item <= lowest ? times == 1 : times <= 1) << item;
    }
  }
}

// Helpers live as long as the team and have the stated stack; the calling
// thread writes what meanwhile asks, once at the end with `done`.
TEST(Threads, HelpersHaveTheirStackAndTheCallerItsTurn) {
  Workers workers(4);
  std::atomic<std::size_t> smallest = ~std::size_t{0};
  std::vector<int> calls;
  for (int round = 0; round < 3; ++round) {
    workers.forEach(
        400, 1,
        [&](std::size_t, int worker) {
          pthread_attr_t attributes;
          std::size_t size = 0;
          if (worker == 0 || pthread_getattr_np(pthread_self(), &attributes))
            return;
          pthread_attr_getstacksize(&attributes, &size);
          pthread_attr_destroy(&attributes);
          for (std::size_t seen = smallest;
               size < seen && !smallest.compare_exchange_weak(seen, size);) {
          }
        },
        [&](bool done) { calls.push_back(done); });
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), 1), round + 1);
  }
  EXPECT_GE(smallest, kWorkerStackBytes);
}

TEST(Threads, DefaultCountIsTheCpusTheProcessMayRunOn) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(usableCpus(), CPU_COUNT(&saved));
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu)
    if (CPU_ISSET(cpu, &saved)) CPU_SET(cpu, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(usableCpus(), 1);
  sched_setaffinity(0, sizeof saved, &saved);
}

// Blocks of every size, some longer than the window, written in order
// however the threads share them; a failing block still has the lines made
// before its failure written, and nothing after it.
TEST(Threads, WriterKeepsTheBlocksInOrder) {
  const auto line = [](std::size_t block, std::size_t k) {
    return std::to_string(block) + ":" + std::to_string(k) +
           std::string(block % 5 == 0 ? 40000 : block % 7, '.');
  };
  const auto linesOf = [](std::size_t block) {
    return block % 9 == 0 ? kWindowBytes / 40000 * 3 / 2 : block % 4;
  };
  for (const int threads : {1, 2, 3, 8}) {
    for (const std::size_t failing : {std::size_t{1000}, std::size_t{45}}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, failing block " +
                   std::to_string(failing));
      std::string expected;
      for (std::size_t block = 0; block < 60 && block <= failing; ++block) {
        for (std::size_t k = 0; k < linesOf(block); ++k)
          if (block < failing || k < 2) expected += line(block, k) + "\n";
      }
      Workers workers(threads);
      OrderedWriter writer(60);
      CoutCapture out;
      workers.forEach(
          60, 1,
          [&](std::size_t block, int worker) {
            writer.make(block, worker, [&](BlockLines& lines) {
              for (std::size_t k = 0; k < linesOf(block); ++k) {
                if (block == failing && k == 2) throw std::length_error("x");
                lines.add(line(block, k));
              }
            });
          },
          [&](bool done) { writer.serve(done); });
      EXPECT_EQ(out.text(), expected);
      if (failing < 60)
        EXPECT_THROW(writer.rethrowFailure(), std::length_error);
      else
        EXPECT_NO_THROW(writer.rethrowFailure());
    }
  }
}
