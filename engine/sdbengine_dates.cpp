// Engine dates: the date formats and the julian-day conversion calls.
#include <cctype>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

std::mutex gFormatMutex;
std::string gDateFormat = "MM/DD/CCYY";

}  // namespace

bool ValidDateFormat(std::string_view format) {
  if (format.empty() || format.size() > 11) return false;
  bool year = false, month = false, day = false;
  for (size_t i = 0; i < format.size();) {
    char c = sdbstore::UpperChar(format[i]);
    bool pair = i + 1 < format.size() && sdbstore::UpperChar(format[i + 1]) == c;
    if ((c == 'C' || c == 'Y' || c == 'M' || c == 'D') && pair) {
      year |= c == 'Y';
      month |= c == 'M';
      day |= c == 'D';
      i += 2;
    } else if (std::isalnum(static_cast<unsigned char>(c))) {
      return false;
    } else {
      ++i;
    }
  }
  return year && month && day;
}

std::string ProcessDateFormat() {
  std::lock_guard lock(gFormatMutex);
  return gDateFormat;
}

void SetProcessDateFormat(std::string format) {
  std::lock_guard lock(gFormatMutex);
  gDateFormat = std::move(format);
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbGetDateFormat(char* pucFormat, uint16_t* pusLen) {
  return Api([&] { return PutText(ProcessDateFormat(), pucFormat, pusLen); });
}

extern "C" uint32_t SdbSetDateFormat(const char* pucFormat) {
  return Api([&] {
    std::string format = Need(pucFormat, "date format");
    if (!ValidDateFormat(format))
      Throw(SDB_E_INVALID_ARGUMENT,
            "Unrecognized date format \"" + format + "\": use CC, YY, MM and DD with separators.");
    SetProcessDateFormat(format);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbConvertJulianToString(double dJulian, char* pucJulian, uint16_t* pusLen) {
  return Api([&] {
    int y, m, d;
    if (!(dJulian >= 0 && dJulian < 2147483647.0) ||
        !sdbstore::YmdFromJulian(static_cast<int32_t>(dJulian), y, m, d))
      Throw(SDB_E_INVALID_ARGUMENT,
            "Julian day " + std::to_string(dJulian) + " is outside the years 1 to 9999.");
    return PutText(sdbstore::FormatDate(static_cast<int32_t>(dJulian), "CCYYMMDD"), pucJulian,
                   pusLen);
  });
}

extern "C" uint32_t SdbConvertStringToJulian(const char* pucJulian, uint16_t usLen,
                                             double* pdJulian) {
  return Api([&] {
    std::string_view text(Need(pucJulian, "date text"), usLen);
    Need(pdJulian, "julian day");
    int32_t julian = 0;
    bool digits = text.size() == 8;
    for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits || !sdbstore::ParseDate(text, "CCYYMMDD", julian))
      Throw(SDB_E_INVALID_ARGUMENT,
            "\"" + std::string(text) + "\" is not a date of the form CCYYMMDD.");
    *pdJulian = julian;
    return SDB_SUCCESS;
  });
}
