#include "scan/read_ahead.h"

#include <algorithm>
#include <new>

#include "page/page_header.h"
#include "scan/scan_window.h"

namespace pagerake {

namespace {
constexpr size_t kWindowBytes = static_cast<size_t>(kScanWindowSectors) * kSectorSize;
}  // namespace

ReadAhead::ReadAhead(const DataSource& source, int64_t limit)
    : source_(source), limit_(limit), next_(limit) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

uint8_t* ReadAhead::BufferData(int buffer) { return storage_.data() + kWindowBytes * buffer; }

void ReadAhead::Start(int64_t from) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) {
    static_assert(kIoBufferAlign % kBulkReadAlign == 0);
    storage_ = IoBuffer::ForDirectTransfers(kWindowBytes * kBuffers);
    thread_ = std::thread([this] { Run(); });
  }
  PlanLocked(from, lock);
}

void ReadAhead::Release(Slot& slot, bool& bufferFreed) {
  if (slot.state == State::kFree || slot.state == State::kReading) return;
  bufferFreed = bufferFreed || slot.buffer >= 0;
  slot.state = State::kFree;
  slot.buffer = -1;
}

// Drops every window, waits for the read in flight, and plans the windows from `from`.
void ReadAhead::PlanLocked(int64_t from, std::unique_lock<std::mutex>& lock) {
  bool bufferFreed = false;
  for (Slot& s : slots_) Release(s, bufferFreed);
  next_ = limit_;  // nothing new is started meanwhile
  changed_.notify_all();
  changed_.wait(lock, [this] {
    return std::none_of(std::begin(slots_), std::end(slots_),
                        [](const Slot& s) { return s.state == State::kReading; });
  });
  for (Slot& s : slots_) Release(s, bufferFreed);
  next_ = from;
  changed_.notify_all();
}

ReadAhead::Slot* ReadAhead::FreeSlot() {
  for (Slot& s : slots_) {
    if (s.state == State::kFree) return &s;
  }
  return nullptr;
}

int ReadAhead::FreeBuffer() const {
  for (int b = 0; b < kBuffers; ++b) {
    if (std::none_of(std::begin(slots_), std::end(slots_),
                     [b](const Slot& s) { return s.state != State::kFree && s.buffer == b; })) {
      return b;
    }
  }
  return -1;
}

ReadAhead::Slot* ReadAhead::SlotFor(int64_t start) {
  for (Slot& s : slots_) {
    if (s.state != State::kFree && s.start == start) return &s;
  }
  return nullptr;
}

const uint8_t* ReadAhead::Take(int64_t start, int64_t& validEnd) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) return nullptr;
  // Windows in front of this one are done with.
  bool bufferFreed = false;
  for (Slot& s : slots_) {
    if (s.start < start) Release(s, bufferFreed);
  }
  if (SlotFor(start) == nullptr) {
    const bool planned =
        start >= next_ && start < limit_ && (start - next_) % kScanWindowSectors == 0;
    if (!planned) {
      // The walk reads this window itself; the thread goes on behind it.
      PlanLocked(start + kScanWindowSectors, lock);
      return nullptr;
    }
    next_ = start;  // the windows in between are not needed
    bufferFreed = true;
  }
  // Wake the thread for a freed buffer at once, for cached windows only when half the plan is
  // free again: the walk over cached windows should not pay for a wake-up each.
  const auto freeSlots = std::count_if(std::begin(slots_), std::end(slots_),
                                       [](const Slot& s) { return s.state == State::kFree; });
  if (bufferFreed || freeSlots >= kEntries / 2) changed_.notify_all();
  Slot* found = nullptr;
  changed_.wait(lock, [&] {
    found = SlotFor(start);
    return found != nullptr && found->state != State::kReading;
  });
  found->state = State::kTaken;
  validEnd = found->validEnd;
  return found->validEnd > start ? BufferData(found->buffer) : nullptr;
}

void ReadAhead::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || (next_ < limit_ && FreeSlot() != nullptr); });
    if (stop_) return;
    Slot& slot = *FreeSlot();
    slot.state = State::kReading;
    slot.start = next_;
    slot.buffer = -1;
    const int64_t end = std::min(next_ + kScanWindowSectors, limit_);
    next_ = end;
    const auto count = static_cast<int32_t>(end - slot.start);
    lock.unlock();
    // A window the system's cache holds is left to the walk's own reads.
    const bool cached = SectorsCached(source_, slot.start, count);
    lock.lock();
    bool ok = false;
    if (!cached) {
      changed_.wait(lock, [this] { return stop_ || FreeBuffer() >= 0; });
      if (stop_) return;
      slot.buffer = FreeBuffer();
      uint8_t* data = BufferData(slot.buffer);
      lock.unlock();
      ok = ReadSectorsBulk(source_, slot.start, count, data);
      lock.lock();
    }
    slot.validEnd = ok ? end : slot.start;
    slot.state = State::kReady;
    changed_.notify_all();
  }
}

}  // namespace pagerake
