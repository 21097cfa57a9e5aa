// The run's thread team and the ordered writer, on several threads (the
// suite's name puts them under ThreadSanitizer too).
#include "workers.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
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
  // clang-format off
  const Case cases[] = {{1, 0, 1, {}}, {2, 1, 8, {}}, {3, 100, 1, {}},
      {8, 100, 7, {}}, {8, 5, 100, {}}, {3, 1000, 8, {999}},
      {2, 100, 3, {40, 7, 95}}, {8, 300, 1, {250, 13}}, {1, 50, 4, {20, 30}}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.items
                                    << " items in shares of " << c.share);
    Workers workers(c.threads);
    std::vector<std::atomic<int>> runs(c.items);
    std::atomic<bool> workerInRange = true;
    std::string thrown = "none";
    try {
      workers.forEach(c.items, c.share, [&](std::size_t item, int worker) {
        ++runs[item];
        if (worker < 0 || worker >= workers.count()) workerInRange = false;
        if (std::ranges::count(c.failing, item))
          throw std::runtime_error(std::to_string(item));
      });
    } catch (const std::runtime_error& failure) {
      thrown = failure.what();
    }
    const std::size_t lowest =
        c.failing.empty() ? c.items : std::ranges::min(c.failing);
    EXPECT_EQ(thrown, c.failing.empty() ? "none" : std::to_string(lowest));
    EXPECT_TRUE(workerInRange);
    // Items past the lowest failure may have started before it was met.
    for (std::size_t item = 0; item < c.items; ++item)
      EXPECT_TRUE(item <= lowest ? runs[item] == 1 : runs[item] <= 1) << item;
  }
}

// Helpers have the stated stack; the calling thread runs meanwhile before
// each share it takes, and once at the end with `done`.
TEST(Threads, HelpersHaveTheirStackAndTheCallerItsTurn) {
  Workers workers(4);
  std::vector<std::size_t> stacks(4, kWorkerStackBytes);  // by worker
  std::vector<int> calls;
  for (int round = 1; round <= 3; ++round) {
    workers.forEach(
        400, 1,
        [&](std::size_t, int worker) {
          pthread_attr_t attributes;
          if (worker == 0 || pthread_getattr_np(pthread_self(), &attributes))
            return;
          pthread_attr_getstacksize(&attributes, &stacks[std::size_t(worker)]);
          pthread_attr_destroy(&attributes);
        },
        [&](bool done) { calls.push_back(done); });
    ASSERT_EQ(std::ranges::count(calls, 1), round);
    EXPECT_EQ(calls.back(), 1);
    EXPECT_GE(calls.size(), 2u * std::size_t(round));
  }
  for (const std::size_t size : stacks) EXPECT_GE(size, kWorkerStackBytes);
}

TEST(Threads, DefaultCountIsTheCpusTheProcessMayRunOn) {
  cpu_set_t saved, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(usableCpus(), CPU_COUNT(&saved));
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
    for (const std::size_t failing : {1000, 45}) {
      SCOPED_TRACE(testing::Message()
                   << threads << " threads, block " << failing << " failing");
      std::string expected;
      for (std::size_t block = 0; block < 60 && block <= failing; ++block)
        for (std::size_t k = 0; k < linesOf(block); ++k)
          if (block < failing || k < 2) expected += line(block, k) + "\n";
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
      if (failing < 60) {
        EXPECT_THROW(writer.rethrowFailure(), std::length_error);
      } else {
        EXPECT_NO_THROW(writer.rethrowFailure());
      }
    }
  }
}
