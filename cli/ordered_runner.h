#ifndef QUORVEX_CLI_ORDERED_RUNNER_H
#define QUORVEX_CLI_ORDERED_RUNNER_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvex::cli {

// Where the runner writes: standard output and standard error, or a test's
// strings. Called by one thread at a time.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Out(std::string_view text) = 0;
  virtual void Err(std::string_view text) = 0;
  // A piece of standard output text that may end inside a unit (a JSON
  // element written in pieces): `ends_inside` until its last piece.
  virtual void OutPart(std::string_view text, bool ends_inside) {
    (void)ends_inside;
    Out(text);
  }
  // Called before the runner waits, so that what was written can be seen.
  virtual void Flush() {}
  // Called now and then while the runner waits, and after each item written.
  virtual void Idle() {}
};

// The output of one item: standard output and standard error text, held
// until every item before it has been written, then passed straight through.
// Held text goes out error first, as a file's trace and diagnostic come
// before its report.
class StagedOutput {
 public:
  void Out(std::string_view text);
  void Err(std::string_view text);
  // A piece of a unit written in pieces; see OutputSink::OutPart.
  void OutPart(std::string_view text, bool ends_inside);

 private:
  friend class OrderedRunner;
  // Writes what is held; later text goes straight to `sink` under `lock`.
  void Release(OutputSink& sink, std::mutex& lock);
  // Adds `size` held bytes to the runner's count, if it keeps one.
  void Hold(std::size_t size);
  // Waits, while this output is held and the runner holds its limit or
  // more, until it is released: a file's large report is then made as its
  // turn comes instead of being held whole. The caller holds `mutex_`.
  void WaitForRoom(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable released_;
  std::string out_;
  std::string err_;
  bool held_inside_ = false;  // the held text ends inside a unit
  OutputSink* sink_ = nullptr;
  std::mutex* sink_lock_ = nullptr;
  std::atomic<std::size_t>* held_bytes_ = nullptr;
  std::size_t held_limit_ = 0;
};

// Runs items on worker threads and writes their output in the order they
// were added, once an item and every item before it are done. At most four
// items per worker and a few dozen more are in flight, so memory does not grow with the
// number of items. While the output held for items waiting their turn is
// `held_limit` bytes or more, no item but the head is started, and an item
// under way that is not the head waits before it adds more, so that a slow
// first item holds back the others rather than memory filling up behind it.
// With no workers each item runs at once on the caller's
// thread, its output written as it comes.
class OrderedRunner {
 public:
  using Task = std::function<void(StagedOutput& output)>;

  // Enough for thousands of ordinary reports, and small beside the machine.
  static constexpr std::size_t kDefaultHeldLimit = std::size_t{64} << 20;

  OrderedRunner(unsigned workers, OutputSink& sink, std::size_t held_limit = kDefaultHeldLimit);
  ~OrderedRunner();
  OrderedRunner(const OrderedRunner&) = delete;
  OrderedRunner& operator=(const OrderedRunner&) = delete;

  // Adds an item; waits, writing finished items, while too many are in flight.
  void Add(Task task);
  // Waits for every item and writes the rest.
  void Finish();

 private:
  struct Item {
    Task task;
    StagedOutput output;
    bool done = false;
  };

  void Work();
  // Writes the finished items at the head; the caller holds `mutex_`.
  void WriteDone(std::unique_lock<std::mutex>& lock);
  // Waits until the head is done and half the items are started, or a tick
  // has passed: one wake of the adding thread writes and adds many items.
  void WaitForHead(std::unique_lock<std::mutex>& lock);
  bool HeadReady() const;
  // Whether a worker may start the next waiting item; the caller holds
  // `mutex_`.
  bool MayStart() const;

  OutputSink& sink_;
  std::mutex sink_lock_;
  std::size_t capacity_;
  std::size_t refill_at_;
  std::size_t held_limit_;
  std::atomic<std::size_t> held_bytes_{0};
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable item_done_;
  std::deque<std::unique_ptr<Item>> in_flight_;
  std::deque<Item*> waiting_;
  bool finishing_ = false;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace quorvex::cli

#endif
