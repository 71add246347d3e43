// ReadAhead: reads the scan's windows ahead of the walk on a thread of its own, so that the disk
// keeps reading while the walk tests the headers of the window before.
//
// Windows are kScanWindowSectors long and follow one another from the sector given to Start;
// each is read whole with ReadSectorsBulk into a buffer of its own (a few at most, so memory does
// not grow with the source) and is never read past `limit`. A window the system's cache already
// holds is not read ahead: the walk's own reads of it are as fast as memory. Such windows need no
// buffer, so the thread looks further ahead over them and is woken only now and then. The walk takes them in order; taking
// a window frees the ones in front of it, so the thread can go on reading. A window that was not
// planned is not read (the walk then reads its own chunks), but the windows after it are, on the
// guess that the walk goes on from there.
//
// The thread reads through its own copy of the source, so it never shares a handle with the
// walk's own reads. Destroying a ReadAhead stops the thread and joins it after the read in flight.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/io_buffer.h"
#include "source/data_source.h"

namespace pagerake {

class ReadAhead {
 public:
  // `limit`: the first sector never read (the walk's end sector or the source's end if nearer).
  ReadAhead(const DataSource& source, int64_t limit);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Plans the windows starting at `from` (drops all read so far) and starts reading them.
  void Start(int64_t from);

  // The window starting at `start`, after waiting for its read: its bytes, with the sectors that
  // arrived [start, validEnd). nullptr when it was not planned or its read failed; the windows
  // after it are then planned. The bytes stay valid until the next Take or Start.
  const uint8_t* Take(int64_t start, int64_t& validEnd);

  static constexpr int kBuffers = 3;   // windows held in memory at most
  static constexpr int kEntries = 8;   // windows planned ahead at most

 private:
  enum class State { kFree, kReading, kReady, kTaken };
  struct Slot {
    State state = State::kFree;
    int64_t start = -1;
    int64_t validEnd = -1;
    int buffer = -1;  // the window's buffer; -1 when it holds none
  };

  void Run();
  void PlanLocked(int64_t from, std::unique_lock<std::mutex>& lock);
  Slot* FreeSlot();
  int FreeBuffer() const;  // -1 when every buffer is in use
  void Release(Slot& slot, bool& bufferFreed);
  Slot* SlotFor(int64_t start);
  uint8_t* BufferData(int buffer);  // the window read or being read at `start`

  const DataSource source_;  // the thread's own copy
  const int64_t limit_;
  IoBuffer storage_;  // kBuffers windows
  Slot slots_[kEntries];
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t next_ = 0;  // the next window to read; at or past limit_ when none
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace pagerake
