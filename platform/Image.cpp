// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Image.h"

#include <sys/mman.h>

#include <new>

namespace mv {
namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapFrom = kHugePage / 2;

size_t MappedLength(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* AllocateBuffer(size_t bytes) {
  if (bytes >= kMapFrom) {
    const size_t length = MappedLength(bytes);
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, length, MADV_HUGEPAGE);  // a hint: without it, small pages
    return p;
  }
  return ::operator new(bytes);
}

void FreeBuffer(void* p, size_t bytes) {
  if (!p) return;
  if (bytes >= kMapFrom) {
    munmap(p, MappedLength(bytes));
    return;
  }
  ::operator delete(p);
}

}  // namespace mv
