// Record-image access shared by the dataset's value and editing code: values
// sit at any byte offset of an image, so they are copied, never cast in place.
#pragma once

#include <cstdint>
#include <cstring>

#include "sdbengine.h"

namespace sdbimage {

constexpr double kMsPerDay = 86400000.0;

template <class T>
T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <class T>
void Store(uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

/// Memo, binary, image, varchar (kept outside the image) and Unicode memo.
inline bool IsBlobType(uint16_t type) {
  return (type >= SDB_MEMO && type <= SDB_VARCHAR) || type == SDB_NMEMO;
}

}  // namespace sdbimage
