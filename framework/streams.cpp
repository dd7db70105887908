#include "streams.h"

#include <algorithm>
#include <cstring>

#include "exceptions.h"

int64_t TStream::Size() {
  int64_t position = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw Exception("Stream size cannot be changed");
}

std::string TStream::ReadAll() {
  std::string result;
  char chunk[4096];
  for (;;) {
    size_t n = Read(chunk, sizeof chunk);
    if (n == 0) break;
    result.append(chunk, n);
  }
  return result;
}

void TStream::WriteAll(const std::string& bytes) {
  if (!bytes.empty() && Write(bytes.data(), bytes.size()) != bytes.size())
    throw Exception("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t copied = 0;
  char chunk[4096];
  while (copied < count) {
    size_t want = static_cast<size_t>(std::min<int64_t>(count - copied, sizeof chunk));
    size_t n = source.Read(chunk, want);
    if (n == 0) break;
    if (Write(chunk, n) != n) throw Exception("Stream write error");
    copied += static_cast<int64_t>(n);
  }
  return copied;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (FPosition >= Size()) return 0;
  size_t n = std::min(count, static_cast<size_t>(Size() - FPosition));
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  size_t end = static_cast<size_t>(FPosition) + count;
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : Size();
  FPosition = std::max<int64_t>(0, base + offset);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t size) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  if (FPosition > size) FPosition = std::max<int64_t>(0, size);
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}
