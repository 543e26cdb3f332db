// The ordered writer on its own: items written in the order they were added
// whatever order they finish in, few in flight, and a limit on the output held
// behind a slow item; and the summary line of a run.
#include "ordered_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "run_checks.h"
#include "test_support.h"

namespace {

using quorvex::cli::OrderedRunner;
using quorvex::cli::OutputSink;
using quorvex::cli::StagedOutput;
using quorvex::testing::StringSink;

TEST(OrderedRunner, WritesInOrderWhateverOrderTheItemsFinish) {
  StringSink sink;
  std::string expected_out;
  std::string expected_err;
  {
    OrderedRunner runner(4, sink);
    for (int i = 0; i < 40; ++i) {
      expected_err += "err " + std::to_string(i) + " a\nerr " + std::to_string(i) + " b\n";
      expected_out += "out " + std::to_string(i) + "\n";
      runner.Add([i](StagedOutput& output) {
        output.Err("err " + std::to_string(i) + " a\n");
        // Later items finish first.
        std::this_thread::sleep_for(std::chrono::milliseconds((40 - i) % 7));
        output.Err("err " + std::to_string(i) + " b\n");
        output.Out("out " + std::to_string(i) + "\n");
      });
    }
    runner.Finish();
  }
  EXPECT_EQ(sink.out, expected_out);
  EXPECT_EQ(sink.err, expected_err);
}

// Counts the items written, so that a task can see how far ahead it runs.
class CountingSink : public OutputSink {
 public:
  void Out(std::string_view) override { ++written; }
  void Err(std::string_view) override {}
  std::atomic<int> written{0};
};

TEST(OrderedRunner, KeepsFewItemsInFlight) {
  for (unsigned workers : {1u, 2u, 4u}) {
    CountingSink sink;
    std::atomic<int> furthest_ahead{0};
    {
      OrderedRunner runner(workers, sink);
      for (int i = 0; i < 5000; ++i) {
        runner.Add([i, &sink, &furthest_ahead](StagedOutput& output) {
          const int ahead = i - sink.written.load();
          int now = furthest_ahead.load();
          while (ahead > now && !furthest_ahead.compare_exchange_weak(now, ahead)) {
          }
          // The first item is slow, so that the others pile up behind it.
          if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
          output.Out("x");
        });
      }
      runner.Finish();
    }
    EXPECT_EQ(sink.written, 5000);
    EXPECT_LE(furthest_ahead.load(), static_cast<int>(4 * workers + 48)) << workers;
  }
}

// Behind a slow first item, the output held for the others stays near the
// limit in bytes: once it is reached, only the items already running finish.
TEST(OrderedRunner, StartsNoMoreItemsOnceTheHeldOutputReachesItsLimit) {
  constexpr std::size_t kLimit = 1000;
  constexpr std::size_t kItemBytes = 400;
  for (unsigned workers : {2u, 4u}) {
    CountingSink sink;
    std::atomic<bool> head_running{true};
    std::atomic<int> started_behind{0};
    {
      OrderedRunner runner(workers, sink, kLimit);
      for (int i = 0; i < 40; ++i) {
        runner.Add([i, &head_running, &started_behind](StagedOutput& output) {
          if (i == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            head_running = false;
          } else if (head_running) {
            ++started_behind;
          }
          output.Out(std::string(kItemBytes, 'x'));
        });
      }
      runner.Finish();
    }
    EXPECT_EQ(sink.written, 40);
    // Enough to reach the limit, and one more on each other worker.
    const int most = static_cast<int>((kLimit + kItemBytes - 1) / kItemBytes + workers - 1);
    EXPECT_LE(started_behind.load(), most) << workers;
    EXPECT_GE(started_behind.load(), 1) << workers;
  }
}

// One large report behind a slow first item is not held whole: its file
// waits at the limit until its turn, and then writes the rest through.
TEST(OrderedRunner, AnItemBehindTheHeadWaitsAtTheLimit) {
  constexpr std::size_t kLimit = 1000;
  constexpr std::size_t kPiece = 100;
  CountingSink sink;
  std::atomic<bool> head_running{true};
  std::atomic<int> pieces_behind{0};
  {
    OrderedRunner runner(2, sink, kLimit);
    runner.Add([&head_running](StagedOutput& output) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      head_running = false;
      output.Out("head\n");
    });
    runner.Add([&head_running, &pieces_behind](StagedOutput& output) {
      for (int i = 0; i < 100; ++i) {
        output.Out(std::string(kPiece, 'x'));
        if (head_running) ++pieces_behind;
      }
    });
    runner.Finish();
  }
  EXPECT_LE(pieces_behind.load(), static_cast<int>(kLimit / kPiece));
  EXPECT_GE(pieces_behind.load(), 1);
}

TEST(SummaryLine, CountsEveryOutcome) {
  quorvex::cli::RunTally t{1, 2, 3, 4, 5, 6, 0};
  EXPECT_EQ(quorvex::cli::SummaryLine(t),
            "21 files: 1 intact, 2 damaged, 3 unsealed, 4 invalid, 5 unsupported version, 6 could "
            "not be checked\n");
  t.skipped = 7;
  EXPECT_EQ(quorvex::cli::SummaryLine(t),
            "21 files: 1 intact, 2 damaged, 3 unsealed, 4 invalid, 5 unsupported version, 6 could "
            "not be checked, 7 of no known kind skipped\n");
}

}  // namespace
