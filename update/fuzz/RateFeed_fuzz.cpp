// libFuzzer target over the feed parser and reader: parses a body as a feed,
// walks its entries and reads the texts the update run reads. No network.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "RateFeed.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TRateFeed feed;  // reloading also exercises the release of the last document
  try {
    feed.LoadXML(std::string_view(reinterpret_cast<const char*>(data), size));
    for (TFeedEntry entry = feed.FirstEntry(); entry; entry = feed.NextEntry(entry)) {
      for (const char* name :
           {"pubDate", "description", "title", "targetCurrency", "exchangeRate"}) {
        try {
          feed.Text(entry, name);
        } catch (const ERateFeedError&) {
        }
      }
    }
  } catch (const ERateFeedError&) {
  }
  return 0;
}
