// Where IoBuffer puts its bytes: copy buffers 32 bytes into a page, direct-transfer buffers on a
// page boundary (a direct read into anything else falls back to a slower cached read).
#include "base/io_buffer.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace pagerake {
namespace {

uintptr_t InPage(const IoBuffer& b) { return reinterpret_cast<uintptr_t>(b.data()) % 4096; }

TEST(IoBuffer, CopyAndDirectBuffersSitWhereTheKernelFillsThemFastest) {
  const IoBuffer zeroed(6 << 20);
  EXPECT_EQ(InPage(zeroed), kIoBufferCopyOffset);
  EXPECT_EQ(zeroed[0] + zeroed[(6 << 20) - 1], 0);
  EXPECT_EQ(InPage(IoBuffer(1 << 20, IoBuffer::kUninitialized)), kIoBufferCopyOffset);
  IoBuffer direct = IoBuffer::ForDirectTransfers(18 << 20);
  EXPECT_EQ(InPage(direct), 0u);
  const IoBuffer taken = std::move(direct);
  EXPECT_EQ(taken.size(), size_t{18} << 20);
  EXPECT_TRUE(direct.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
}

}  // namespace
}  // namespace pagerake
