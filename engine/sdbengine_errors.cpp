// The per-thread last error, output buffers and text conversions.
#include <algorithm>
#include <cstdio>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

struct LastError {
  uint32_t code = 0;
  std::string text;
};

LastError& ThreadError() {
  thread_local LastError error;
  return error;
}

}  // namespace

void Throw(uint32_t code, std::string text) {
  throw Error{code, std::move(text)};
}

uint32_t SetError(uint32_t code, std::string text) {
  LastError& e = ThreadError();
  e.code = code;
  e.text = std::move(text);
  return code;
}

uint32_t PutText(std::string_view text, char* buf, uint16_t* len) {
  Need(len, "buffer length");
  uint32_t room = *len;
  uint32_t result = PutText32(text, buf, &room);
  *len = static_cast<uint16_t>(room > 0xFFFF ? 0xFFFF : room);
  return result;
}

uint32_t PutText32(std::string_view text, char* buf, uint32_t* len) {
  Need(len, "buffer length");
  uint32_t room = buf ? *len : 0;
  if (text.size() + 1 <= room) {
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    *len = static_cast<uint32_t>(text.size());
    return SDB_SUCCESS;
  }
  if (room > 0) {
    std::memcpy(buf, text.data(), room - 1);
    buf[room - 1] = '\0';
  }
  *len = static_cast<uint32_t>(text.size() + 1);
  return SetError(SDB_E_INSUFFICIENT_BUFFER,
                  "The buffer is too small: " + std::to_string(text.size() + 1) +
                      " bytes are needed, " + std::to_string(room) + " were given.");
}

uint32_t PutTextW(std::u16string_view text, char16_t* buf, uint32_t* len) {
  Need(len, "buffer length");
  uint32_t room = buf ? *len : 0;
  if (text.size() + 1 <= room) {
    std::memcpy(buf, text.data(), text.size() * 2);
    buf[text.size()] = 0;
    *len = static_cast<uint32_t>(text.size());
    return SDB_SUCCESS;
  }
  if (room > 0) {
    std::memcpy(buf, text.data(), (room - 1) * 2);
    buf[room - 1] = 0;
  }
  *len = static_cast<uint32_t>(text.size() + 1);
  return SetError(SDB_E_INSUFFICIENT_BUFFER,
                  "The buffer is too small: " + std::to_string(text.size() + 1) +
                      " characters are needed, " + std::to_string(room) + " were given.");
}

uint32_t PutBytesChecked(const void* data, size_t size, uint8_t* buf, uint32_t* len) {
  Need(len, "buffer length");
  uint32_t room = buf ? *len : 0;
  if (size <= room) {
    if (size) std::memcpy(buf, data, size);
    *len = static_cast<uint32_t>(size);
    return SDB_SUCCESS;
  }
  if (room > 0) std::memcpy(buf, data, room);
  *len = static_cast<uint32_t>(size);
  return SetError(SDB_E_INSUFFICIENT_BUFFER, "The buffer is too small: " + std::to_string(size) +
                                                 " bytes are needed, " + std::to_string(room) +
                                                 " were given.");
}

std::u16string_view WideZ(const char16_t* text) {
  if (!text) return {};
  size_t n = 0;
  while (text[n]) ++n;
  return {text, n};
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbGetLastError(uint32_t* pulErrCode, char* pucBuf, uint16_t* pusBufLen) {
  // Answers through its arguments only: it must not replace the error it reports.
  if (!pulErrCode) return SDB_E_INVALID_ARGUMENT;
  const LastError& e = ThreadError();
  *pulErrCode = e.code;
  if (!pusBufLen) return SDB_SUCCESS;
  uint32_t room = pucBuf ? *pusBufLen : 0;
  if (e.text.size() + 1 <= room) {
    std::memcpy(pucBuf, e.text.data(), e.text.size());
    pucBuf[e.text.size()] = '\0';
    *pusBufLen = static_cast<uint16_t>(e.text.size());
    return SDB_SUCCESS;
  }
  if (room > 0) {
    std::memcpy(pucBuf, e.text.data(), room - 1);
    pucBuf[room - 1] = '\0';
  }
  *pusBufLen = static_cast<uint16_t>(std::min<size_t>(e.text.size() + 1, 0xFFFF));
  return SDB_E_INSUFFICIENT_BUFFER;
}

extern "C" uint32_t SdbSetLastError(uint32_t ulErrCode, const char* pucDetails) {
  SetError(ulErrCode, pucDetails ? pucDetails : "");
  return ulErrCode;
}

extern "C" uint32_t SdbShowError(const char* pucTitle) {
  const LastError& e = ThreadError();
  std::fprintf(stderr, "%s%s%u: %s\n", pucTitle ? pucTitle : "", pucTitle ? ": " : "",
               static_cast<unsigned>(e.code), e.text.c_str());
  return SDB_SUCCESS;
}
