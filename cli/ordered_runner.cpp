#include "ordered_runner.h"

#include <chrono>

namespace quorvex::cli {

namespace {

// How often a waiting runner lets the sink redraw its progress.
constexpr std::chrono::milliseconds kTick{100};

// Items in flight beyond four per worker. The adding thread is woken when
// half of them are left to start: with small files the workers then have
// something to do while it wakes, and each wake refills many.
constexpr std::size_t kSpareItems = 48;

}  // namespace

void StagedOutput::Out(std::string_view text) {
  std::unique_lock<std::mutex> guard(mutex_);
  WaitForRoom(guard);
  if (sink_ == nullptr) {
    out_.append(text);
    Hold(text.size());
    return;
  }
  std::lock_guard<std::mutex> sink_guard(*sink_lock_);
  sink_->Out(text);
}

void StagedOutput::OutPart(std::string_view text, bool ends_inside) {
  std::unique_lock<std::mutex> guard(mutex_);
  WaitForRoom(guard);
  if (sink_ == nullptr) {
    out_.append(text);
    held_inside_ = ends_inside;
    Hold(text.size());
    return;
  }
  std::lock_guard<std::mutex> sink_guard(*sink_lock_);
  sink_->OutPart(text, ends_inside);
}

void StagedOutput::Err(std::string_view text) {
  std::unique_lock<std::mutex> guard(mutex_);
  WaitForRoom(guard);
  if (sink_ == nullptr) {
    err_.append(text);
    Hold(text.size());
    return;
  }
  std::lock_guard<std::mutex> sink_guard(*sink_lock_);
  sink_->Err(text);
}

void StagedOutput::Hold(std::size_t size) {
  if (held_bytes_ != nullptr) *held_bytes_ += size;
}

void StagedOutput::WaitForRoom(std::unique_lock<std::mutex>& lock) {
  if (held_bytes_ == nullptr || held_limit_ == 0) return;
  // Only the head's end frees held output, and the head is never held, so
  // the wait ends.
  released_.wait(lock, [this] { return sink_ != nullptr || held_bytes_->load() < held_limit_; });
}

void StagedOutput::Release(OutputSink& sink, std::mutex& lock) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (held_bytes_ != nullptr) *held_bytes_ -= err_.size() + out_.size();
  {
    std::lock_guard<std::mutex> sink_guard(lock);
    if (!err_.empty()) sink.Err(err_);
    if (held_inside_) {
      sink.OutPart(out_, true);
    } else if (!out_.empty()) {
      sink.Out(out_);
    }
  }
  std::string().swap(err_);
  std::string().swap(out_);
  sink_ = &sink;
  sink_lock_ = &lock;
  released_.notify_all();
}

OrderedRunner::OrderedRunner(unsigned workers, OutputSink& sink, std::size_t held_limit)
    : sink_(sink),
      capacity_(4 * static_cast<std::size_t>(workers) + kSpareItems),
      refill_at_(capacity_ / 2),
      held_limit_(held_limit) {
  workers_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

OrderedRunner::~OrderedRunner() {
  Finish();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void OrderedRunner::Add(Task task) {
  if (workers_.empty()) {
    Item item;
    item.output.Release(sink_, sink_lock_);
    task(item.output);
    std::lock_guard<std::mutex> sink_guard(sink_lock_);
    sink_.Flush();
    sink_.Idle();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (in_flight_.size() >= capacity_) {
    WriteDone(lock);
    if (in_flight_.size() >= capacity_) WaitForHead(lock);
  }
  auto item = std::make_unique<Item>();
  item->task = std::move(task);
  item->output.held_bytes_ = &held_bytes_;
  item->output.held_limit_ = held_limit_;
  waiting_.push_back(item.get());
  in_flight_.push_back(std::move(item));
  if (in_flight_.size() == 1) {
    // The head goes straight through as it runs.
    Item* head = in_flight_.front().get();
    lock.unlock();
    head->output.Release(sink_, sink_lock_);
    lock.lock();
  }
  work_ready_.notify_one();
  WriteDone(lock);
}

void OrderedRunner::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  finishing_ = true;
  while (!in_flight_.empty()) {
    WriteDone(lock);
    if (!in_flight_.empty()) WaitForHead(lock);
  }
  lock.unlock();
  std::lock_guard<std::mutex> sink_guard(sink_lock_);
  sink_.Flush();
}

bool OrderedRunner::MayStart() const {
  if (waiting_.empty()) return false;
  // The head's output is not held, and only the head's end frees what is.
  return held_bytes_.load() < held_limit_ || waiting_.front() == in_flight_.front().get();
}

bool OrderedRunner::HeadReady() const {
  // Workers held back by the output waiting have nothing to do until the
  // head is written.
  return in_flight_.front()->done &&
         (finishing_ || waiting_.size() <= refill_at_ || held_bytes_.load() >= held_limit_);
}

void OrderedRunner::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || MayStart(); });
    if (!MayStart()) return;
    Item* item = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    item->task(item->output);
    lock.lock();
    item->task = nullptr;
    item->done = true;
    if (HeadReady()) item_done_.notify_one();
  }
}

void OrderedRunner::WriteDone(std::unique_lock<std::mutex>& lock) {
  bool wrote = false;
  while (!in_flight_.empty() && in_flight_.front()->done) {
    // The head's output went through as it ran; what is left is freed here,
    // and the next item, released, writes what it holds.
    std::unique_ptr<Item> finished = std::move(in_flight_.front());
    in_flight_.pop_front();
    Item* next = in_flight_.empty() ? nullptr : in_flight_.front().get();
    lock.unlock();
    finished.reset();
    if (next != nullptr) next->output.Release(sink_, sink_lock_);
    lock.lock();
    wrote = true;
  }
  if (wrote) {
    // Released output no longer counts as held: workers held back may start.
    work_ready_.notify_all();
    lock.unlock();
    {
      std::lock_guard<std::mutex> sink_guard(sink_lock_);
      sink_.Idle();
    }
    lock.lock();
  }
}

void OrderedRunner::WaitForHead(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  {
    std::lock_guard<std::mutex> sink_guard(sink_lock_);
    sink_.Flush();
    sink_.Idle();
  }
  lock.lock();
  item_done_.wait_for(lock, kTick, [this] { return HeadReady(); });
}

}  // namespace quorvex::cli
