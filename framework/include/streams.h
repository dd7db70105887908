// Byte streams of the framework: the abstract stream that blob fields read and
// write through, and a growable in-memory stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

/// A sequence of bytes with a position. Read and Write answer the number of
/// bytes moved; Seek answers the new position (clamped at 0).
class TStream {
 public:
  virtual ~TStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  /// Cuts or extends (with zero bytes) the stream; streams that cannot do
  /// this raise EStreamError.
  virtual void SetSize(int64_t size);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }

  /// The bytes from the current position to the end.
  std::string ReadAll();
  /// Writes every byte of the text.
  void WriteAll(const std::string& bytes);
  /// Copies `count` bytes (all remaining when 0) from `source`; answers the
  /// number copied.
  int64_t CopyFrom(TStream& source, int64_t count = 0);
};

/// A stream kept in memory; writing past the end grows it.
class TMemoryStream : public TStream {
 public:
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t size) override;

  /// Empties the stream and rewinds it.
  void Clear();
  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};
