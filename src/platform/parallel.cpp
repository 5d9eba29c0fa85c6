#include "platform/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

thread_local bool inside_block = false;

// Workers sleep between jobs; the calling thread takes blocks too, so a pool of n threads
// has n - 1 workers.
class worker_pool {
 public:
  ~worker_pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  void run(int threads, int64_t blocks, const std::function<void(int64_t)>& block) {
    // One job at a time: a second caller (a loader thread, say) waits its turn.
    std::lock_guard<std::mutex> one_job(run_mutex_);
    grow(threads - 1);
    job current;
    current.block = &block;
    current.blocks = blocks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = &current;
      wanted_ = threads - 1;
      ++generation_;
      ++current.active;
    }
    wake_.notify_all();
    work(current);
    std::unique_lock<std::mutex> lock(mutex_);
    --current.active;
    // A worker joins only while holding the lock and counted in active, so once active is 0
    // and job_ is cleared, nobody can still reach `current`.
    done_.wait(lock, [&] { return current.active == 0; });
    job_ = nullptr;
    lock.unlock();
    if (current.error) std::rethrow_exception(current.error);
  }

 private:
  struct job {
    const std::function<void(int64_t)>* block = nullptr;
    int64_t blocks = 0;
    std::atomic<int64_t> next{0};
    int active = 0;  // threads inside work(); guarded by mutex_
    std::exception_ptr error;
  };

  void grow(int count) {
    while (static_cast<int>(workers_.size()) < count) workers_.emplace_back([this] { loop(); });
  }

  void loop() {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || (generation_ != seen && job_ && wanted_ > 0); });
      if (stopping_) return;
      seen = generation_;
      --wanted_;
      job& current = *job_;
      ++current.active;
      lock.unlock();
      work(current);
      lock.lock();
      if (--current.active == 0) done_.notify_all();
    }
  }

  void work(job& current) {
    inside_block = true;
    for (;;) {
      const int64_t i = current.next.fetch_add(1);
      if (i >= current.blocks) break;
      try {
        (*current.block)(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!current.error) current.error = std::current_exception();
        current.next.store(current.blocks);
        break;
      }
    }
    inside_block = false;
  }

  std::mutex run_mutex_, mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  job* job_ = nullptr;
  int wanted_ = 0;
  uint64_t generation_ = 0;
  bool stopping_ = false;
};

std::atomic<int> requested_threads{0};

worker_pool& pool() {
  static worker_pool instance;
  return instance;
}

}  // namespace

int hardware_threads() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

void set_thread_count(int count) { requested_threads = std::max(0, count); }

int thread_count() {
  const int requested = requested_threads;
  return requested > 0 ? requested : hardware_threads();
}

void parallel_for(int64_t n, int64_t min_block, const std::function<void(int64_t, int64_t)>& body) {
  if (n <= 0) return;
  min_block = std::max<int64_t>(1, min_block);
  const int threads = inside_block ? 1 : thread_count();
  // A few blocks per thread even out uneven rows without much scheduling.
  const int64_t blocks = std::clamp<int64_t>(n / min_block, 1, int64_t{threads} * 4);
  if (threads == 1 || blocks == 1) {
    body(0, n);
    return;
  }
  const std::function<void(int64_t)> block = [&](int64_t i) { body(n * i / blocks, n * (i + 1) / blocks); };
  pool().run(static_cast<int>(std::min<int64_t>(threads, blocks)), blocks, block);
}

void parallel_rows(int32_t n, int32_t min_block, const std::function<void(int32_t, int32_t)>& body,
                   const std::function<void(int32_t)>& row_done) {
  if (n <= 0) return;
  const int threads = inside_block ? 1 : thread_count();
  if (threads == 1) {
    for (int32_t y = 0; y < n; ++y) {
      body(y, y + 1);
      row_done(y);
    }
    return;
  }
  // Waves of about 1/16 of the picture keep the progress line moving.
  const int32_t wave = std::max<int32_t>(std::max(1, min_block) * threads, (n + 15) / 16);
  for (int32_t first = 0; first < n; first += wave) {
    const int32_t last = std::min(n, first + wave);
    parallel_for(last - first, min_block, [&](int64_t a, int64_t b) {
      body(static_cast<int32_t>(first + a), static_cast<int32_t>(first + b));
    });
    for (int32_t y = first; y < last; ++y) row_done(y);
  }
}
