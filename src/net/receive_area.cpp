#include "net/receive_area.h"

#include <sys/mman.h>

namespace vesk {

ReceiveArea::~ReceiveArea() { Release(); }

bool ReceiveArea::Reset(size_t size) {
  if (data_ != nullptr && size == size_) {
    // Giving the pages back zeroes them; untouched pages stay unbacked.
    if (madvise(data_, size_, MADV_DONTNEED) == 0) return true;
  }
  Release();
  if (size == 0) return true;
  void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) return false;
  data_ = static_cast<uint8_t*>(mapped);
  size_ = size;
  return true;
}

void ReceiveArea::Release() {
  if (data_ != nullptr) munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace vesk
