// The daily rate feed reader: fetches one feed document over HTTP, parses it
// and reads its entries and their texts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "exceptions.h"

struct _xmlDoc;
struct _xmlNode;

/// A feed that cannot be fetched, parsed or read. A failed load carries the
/// reason, "Line: <n>" and the start of the offending source line, each on a
/// line of its own (CR LF).
class ERateFeedError : public Exception {
 public:
  using Exception::Exception;
};

/// The address of the daily feed of one currency: "http://" + host +
/// "/daily/" + code + ".xml", the code exactly as given.
std::string RateFeedAddress(const std::string& host, const std::string& code);

/// One entry of the loaded feed, or none (false). It stays usable only until
/// the next load; the reader refuses entries of an earlier document.
class TFeedEntry {
 public:
  TFeedEntry() = default;
  explicit operator bool() const { return FNode != nullptr; }

 private:
  friend class TRateFeed;
  TFeedEntry(_xmlNode* node, std::uint64_t generation) : FNode(node), FGeneration(generation) {}
  _xmlNode* FNode = nullptr;
  std::uint64_t FGeneration = 0;
};

/// The feed reader. Load blocks for the whole transfer and keeps nothing but
/// the current document. Not thread-safe: one reader per thread.
///
///   feed.Load(RateFeedAddress(host, "EUR"));
///   for (TFeedEntry e = feed.FirstEntry(); e; e = feed.NextEntry(e))
///     rate = feed.Text(e, "exchangeRate");
class TRateFeed {
 public:
  static constexpr std::chrono::milliseconds DefaultConnectTimeout{10'000};
  static constexpr std::chrono::milliseconds DefaultTransferTimeout{60'000};
  /// Larger bodies are refused; a transfer stops as soon as it passes this.
  static constexpr std::size_t MaxBodySize = 16 * 1024 * 1024;
  /// Redirects followed per load (http and https only).
  static constexpr long MaxRedirects = 5;

  TRateFeed();
  ~TRateFeed();
  TRateFeed(const TRateFeed&) = delete;
  TRateFeed& operator=(const TRateFeed&) = delete;

  /// Releases the current document, fetches the address afresh with one GET
  /// (proxies from the environment) and parses the body. Throws
  /// ERateFeedError on a transfer failure (line 0, empty excerpt), an error
  /// status ("HTTP 404 Not Found") or a document that is not well formed.
  void Load(const std::string& address);
  /// Releases the current document and parses text as Load parses a body:
  /// no network, no entity expansion, no DTD loading, blank text dropped.
  void LoadXML(std::string_view text);
  /// True while a document is loaded (after a successful load).
  bool Loaded() const { return FDocument != nullptr; }

  /// The root's first child element named "item". Throws ERateFeedError
  /// "The rate feed holds no entries." when there is none.
  TFeedEntry FirstEntry() const;
  /// The next element after entry among the root's children, whatever its
  /// name, or none after the last. Comments and processing instructions
  /// between entries are skipped.
  TFeedEntry NextEntry(TFeedEntry entry) const;
  /// The text of entry's first child element called name: empty when there
  /// is no such child or it has no content, the value of its one text or
  /// CDATA node, else ERateFeedError
  /// "Element "<name>" does not contain a single text node".
  std::string Text(TFeedEntry entry, const std::string& name) const;

  std::chrono::milliseconds ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(std::chrono::milliseconds timeout) { FConnectTimeout = timeout; }
  /// Limit for the whole transfer, connection and redirects included.
  std::chrono::milliseconds TransferTimeout() const { return FTransferTimeout; }
  void SetTransferTimeout(std::chrono::milliseconds timeout) { FTransferTimeout = timeout; }

 private:
  struct TFreeDocument {
    void operator()(_xmlDoc* document) const;
  };

  void Close();
  _xmlNode* Node(TFeedEntry entry) const;

  std::unique_ptr<_xmlDoc, TFreeDocument> FDocument;
  std::uint64_t FGeneration = 0;
  std::chrono::milliseconds FConnectTimeout = DefaultConnectTimeout;
  std::chrono::milliseconds FTransferTimeout = DefaultTransferTimeout;
};
