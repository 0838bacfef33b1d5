// Bands of rows of one effect on several threads, with the progress of all
// rows reported in order from the calling thread.

#include "imageeditor/effects/EffectSupport.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace effects_detail {

bool RunBands(int height, int64_t pixels, const TEffectProgress& progress, const TBandWork& work)
{
  int bands = bandsOverride.load(std::memory_order_relaxed);
  if (bands <= 0) bands = pixels >= kBandPixels ? int(std::max(1u, std::thread::hardware_concurrency())) : 1;
  bands = std::clamp(bands, 1, std::max(height, 1));
  if (bands == 1) return work(0, height, [&](int y) { return Report(progress, Percent(y, height - 1)); });

  std::vector<int> start(bands + 1);
  for (int b = 0; b <= bands; ++b) start[b] = int(int64_t(height) * b / bands);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> finished(start.begin(), start.end() - 1);  // the first row of each band not yet done
  std::vector<bool> over(bands, false);                        // the band's work has returned
  bool stop = false;
  std::exception_ptr failure;

  auto rowDoneIn = [&](int b) {
    return [&, b](int y) {
      std::lock_guard lock(mutex);
      finished[b] = y + 1;
      changed.notify_all();
      return !stop;
    };
  };
  std::vector<std::thread> workers;
  workers.reserve(bands - 1);
  auto joinAll = [&] {
    for (std::thread& t : workers) t.join();
  };
  try {
    for (int b = 1; b < bands; ++b)
      workers.emplace_back([&, b] {
        try {
          work(start[b], start[b + 1], rowDoneIn(b));
        } catch (...) {
          std::lock_guard lock(mutex);
          if (!failure) failure = std::current_exception();
          stop = true;
        }
        std::lock_guard lock(mutex);
        over[b] = true;
        changed.notify_all();
      });
  } catch (...) {
    // No thread for the remaining bands: stop the started ones.
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    joinAll();
    throw;
  }

  auto bandOf = [&](int row) {
    int b = 0;
    while (row >= start[b + 1]) ++b;
    return b;
  };
  // Reports the rows finished so far, in order, without waiting; false once
  // a stop is under way.
  int next = 0;
  auto reportFinished = [&] {
    while (next < height) {
      {
        std::lock_guard lock(mutex);
        if (stop) return false;
        if (next >= finished[bandOf(next)]) return true;
      }
      if (!Report(progress, Percent(next, height - 1))) {
        std::lock_guard lock(mutex);
        stop = true;
        return false;
      }
      ++next;
    }
    return true;
  };

  // The first band on this thread, then the others' rows as they come.
  bool ok = false;
  std::exception_ptr ownFailure;
  try {
    ok = work(start[0], start[1], [&](int y) {
      {
        std::lock_guard lock(mutex);
        finished[0] = y + 1;
      }
      return reportFinished();
    });
  } catch (...) {
    ownFailure = std::current_exception();
    ok = false;
  }
  while (ok && next < height) {
    const int b = bandOf(next);
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return stop || next < finished[b] || over[b]; });
      // A band that ended before this row was stopped or failed.
      if (stop || next >= finished[b]) {
        ok = false;
        break;
      }
    }
    ok = reportFinished();
  }
  {
    std::lock_guard lock(mutex);
    if (!ok) stop = true;
  }
  joinAll();
  if (ownFailure) std::rethrow_exception(ownFailure);
  if (failure) std::rethrow_exception(failure);
  return ok;
}

}  // namespace effects_detail
