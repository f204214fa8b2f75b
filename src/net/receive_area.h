#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// A large zero-filled byte area that costs resident memory only for the pages
// actually written. The link's receive area is 36 MiB but an instrument
// normally sends no data frames, so almost all of it is never touched.
class ReceiveArea {
 public:
  ReceiveArea() = default;
  ~ReceiveArea();
  ReceiveArea(const ReceiveArea&) = delete;
  ReceiveArea& operator=(const ReceiveArea&) = delete;

  // Makes the area `size` zero bytes, dropping whatever it held. False when
  // the memory cannot be reserved (the area is then empty).
  bool Reset(size_t size);

  uint8_t* Data() { return data_; }
  size_t Size() const { return size_; }

 private:
  void Release();

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vesk
