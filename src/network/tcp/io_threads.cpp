#include "network/tcp/io_threads.h"

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::internal {

namespace {

// Long enough to bridge a reconnection or the connections of a program's robots one after
// another; short enough that a program done with its links soon has no thread left of them.
constexpr auto kIdleLife = std::chrono::seconds(5);

struct Worker {
  std::condition_variable wake;
  std::function<void()> body;
  std::shared_ptr<IoThreads::Job> job;
  std::shared_ptr<Worker> next;  // woken by this one before its body: a pair costs one wake-up
};

// Leaked on purpose: detached workers may still be parked in it when the process ends.
struct Pool {
  std::mutex mutex;
  std::vector<std::shared_ptr<Worker>> idle;
};

Pool& pool() {
  static Pool* instance = new Pool;
  return *instance;
}

// The worker is shared with whoever hands it a body, who wakes it after letting go of the pool's
// lock: woken under it, the worker would first queue for that lock.
void workerMain(const std::shared_ptr<Worker>& self) {
  Pool& p = pool();
  for (;;) {
    self->job->startOn(std::this_thread::get_id());
    if (const std::shared_ptr<Worker> next = std::move(self->next)) next->wake.notify_one();
    self->body();
    self->body = nullptr;
    std::shared_ptr<IoThreads::Job> job = std::move(self->job);
    {
      // Idle before the job counts as done: whoever joined it and starts the next link finds
      // this thread waiting rather than making another.
      std::unique_lock<std::mutex> lock(p.mutex);
      p.idle.push_back(self);
      job->finish();
      job.reset();
      if (!self->wake.wait_for(lock, kIdleLife, [&self] { return static_cast<bool>(self->body); })) {
        // Still idle: leave, unless a body arrives just now (then the wait above saw it).
        for (auto it = p.idle.begin(); it != p.idle.end(); ++it) {
          if (*it == self) {
            p.idle.erase(it);
            break;
          }
        }
        return;
      }
    }
  }
}

// Under the pool's lock: an idle worker, or a new one whose thread the caller starts, given
// `body` to run for `job`.
std::shared_ptr<Worker> handOver(Pool& p, std::function<void()> body, std::shared_ptr<IoThreads::Job> job) {
  std::shared_ptr<Worker> worker;
  if (p.idle.empty()) {
    worker = std::make_shared<Worker>();
  } else {
    worker = std::move(p.idle.back());
    p.idle.pop_back();
  }
  worker->body = std::move(body);
  worker->job = std::move(job);
  return worker;
}

}  // namespace

void IoThreads::Job::finish() {
  runner_.store(std::thread::id());
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  done_.notify_all();
}

void IoThreads::Job::join() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return finished_; });
}

std::shared_ptr<IoThreads::Job> IoThreads::run(std::function<void()> body) {
  auto job = std::make_shared<Job>();
  Pool& p = pool();
  std::shared_ptr<Worker> worker;
  bool idle = false;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    idle = !p.idle.empty();
    worker = handOver(p, std::move(body), job);
  }
  if (idle) {
    worker->wake.notify_one();
  } else {
    std::thread(workerMain, std::move(worker)).detach();
  }
  return job;
}

bool IoThreads::runPair(const std::function<void()>& first, const std::function<void()>& second,
                        std::shared_ptr<Job>& firstJob, std::shared_ptr<Job>& secondJob) {
  auto jobs = std::make_pair(std::make_shared<Job>(), std::make_shared<Job>());
  std::function<void()> firstBody = first;  // copied before the lock is taken
  std::function<void()> secondBody = second;
  std::shared_ptr<Worker> woken;
  {
    Pool& p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.idle.size() < 2) return false;
    woken = handOver(p, std::move(firstBody), jobs.first);
    woken->next = handOver(p, std::move(secondBody), jobs.second);
  }
  woken->wake.notify_one();
  firstJob = std::move(jobs.first);
  secondJob = std::move(jobs.second);
  return true;
}

std::size_t IoThreads::idleCount() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.idle.size();
}

}  // namespace velmora::internal
