// The daily rate feed reader: libcurl fetches, libxml2 parses.
#include "RateFeed.h"

#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <mutex>
#include <vector>

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr std::size_t kExcerptLength = 40;

// Reason, line number and source excerpt in the one format every failed load
// uses.
[[noreturn]] void LoadFailed(std::string reason, int line, const std::string& excerpt) {
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  throw ERateFeedError(reason + kLineBreak + "Line" + ": " + std::to_string(line) + kLineBreak +
                       excerpt);
}

// ---- transfer -------------------------------------------------------------

struct TTransfer {
  CURL* Handle = nullptr;
  std::string Body;
  std::string StatusLine;  // of the last response seen
  bool TooLarge = false;
  bool ErrorStatus = false;
};

bool IsSuccess(long status) {
  return status >= 200 && status < 300;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const std::size_t length = size * count;
  // An error page is not worth downloading: stop at its first bytes.
  long status = 0;
  curl_easy_getinfo(transfer->Handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccess(status)) {
    transfer->ErrorStatus = true;
    return 0;
  }
  if (length > TRateFeed::MaxBodySize - transfer->Body.size()) {
    transfer->TooLarge = true;
    return 0;
  }
  transfer->Body.append(data, length);
  return length;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) transfer->StatusLine = line;
  return size * count;
}

// "HTTP 404 Not Found" from the status code and the reason phrase of the last
// status line ("HTTP/1.1 404 Not Found"), when it has one.
std::string StatusReason(long status, const std::string& statusLine) {
  std::string reason = "HTTP " + std::to_string(status);
  const std::size_t code = statusLine.find(' ');
  const std::size_t phrase = code == std::string::npos ? code : statusLine.find(' ', code + 1);
  if (phrase != std::string::npos) {
    std::string text = statusLine.substr(phrase + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    if (!text.empty()) reason += " " + text;
  }
  return reason;
}

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
      LoadFailed("The HTTP library could not be initialised", 0, "");
  });
}

std::string Fetch(const std::string& address, std::chrono::milliseconds connectTimeout,
                  std::chrono::milliseconds transferTimeout) {
  InitCurl();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
  if (!handle) LoadFailed("The HTTP library could not start a transfer", 0, "");

  TTransfer transfer;
  transfer.Handle = handle.get();
  char error[CURL_ERROR_SIZE] = {};
  CURL* h = handle.get();
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, TRateFeed::MaxRedirects);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(transferTimeout.count()));
  // A declared length over the limit is refused before the body arrives;
  // OnBody enforces the limit for bodies of unknown length.
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(TRateFeed::MaxBodySize));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Tessaly");
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);

  const CURLcode result = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (transfer.ErrorStatus || (result == CURLE_OK && !IsSuccess(status)))
    LoadFailed(StatusReason(status, transfer.StatusLine), 0, "");
  if (transfer.TooLarge || result == CURLE_FILESIZE_EXCEEDED)
    LoadFailed(
        "The response is larger than " + std::to_string(TRateFeed::MaxBodySize / 1048576) + " MiB",
        0, "");
  if (result != CURLE_OK) LoadFailed(error[0] ? error : curl_easy_strerror(result), 0, "");
  return std::move(transfer.Body);
}

// ---- parsing --------------------------------------------------------------

struct TParseFailure {
  const void* Document = nullptr;  // the parser of the document itself
  bool Seen = false;
  std::string Reason;
  int Line = 0;
};

// The first characters of a line of the source text (lines end at LF, a CR
// before it is dropped), cut at a character boundary.
std::string SourceExcerpt(std::string_view text, int line) {
  if (line < 1) return "";
  std::size_t start = 0;
  for (int n = 1; n < line; ++n) {
    start = text.find('\n', start);
    if (start == std::string_view::npos) return "";
    ++start;
  }
  std::string_view rest = text.substr(start);
  rest = rest.substr(0, rest.find('\n'));
  if (rest.ends_with('\r')) rest.remove_suffix(1);
  std::string excerpt;
  std::size_t characters = 0;
  for (char c : rest) {
    const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (!continuation && ++characters > kExcerptLength) break;
    if (c != '\0') excerpt += c;
  }
  return excerpt;
}

// libxml2 keeps some blank text (the whole content of an element, anything
// under xml:space="preserve"); the feed keeps none. Entity references are not
// entered: their children belong to the entity declaration. The parser's
// depth limit bounds the recursion.
void DropBlankText(xmlNode* parent) {
  for (xmlNode* node = parent->children; node != nullptr;) {
    xmlNode* next = node->next;
    // xmlIsBlankNode also answers for CDATA, which is content as written.
    if (node->type == XML_TEXT_NODE && xmlIsBlankNode(node)) {
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    } else if (node->type == XML_ELEMENT_NODE) {
      DropBlankText(node);
    }
    node = next;
  }
}

void IgnoreMessage(void*, const char*, ...) {}

bool HasName(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && (node->ns == nullptr || node->ns->prefix == nullptr) &&
         name == reinterpret_cast<const char*>(node->name);
}

xmlNode* NextElement(xmlNode* node) {
  while (node != nullptr && node->type != XML_ELEMENT_NODE) node = node->next;
  return node;
}

}  // namespace

std::string RateFeedAddress(const std::string& host, const std::string& code) {
  return "http://" + host + "/daily/" + code + ".xml";
}

void TRateFeed::TFreeDocument::operator()(_xmlDoc* document) const {
  xmlFreeDoc(document);
}

TRateFeed::TRateFeed() {
  xmlInitParser();
}

TRateFeed::~TRateFeed() = default;

void TRateFeed::Close() {
  FDocument.reset();
  ++FGeneration;
}

void TRateFeed::Load(const std::string& address) {
  Close();
  LoadXML(Fetch(address, FConnectTimeout, FTransferTimeout));
}

void TRateFeed::LoadXML(std::string_view text) {
  Close();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) LoadFailed("Document too large", 0, "");

  std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(xmlNewParserCtxt(),
                                                                       xmlFreeParserCtxt);
  if (!context) LoadFailed("Out of memory", 0, "");
  // Keep the first error of the document itself (later ones are mostly
  // consequences; those inside an entity's text count their lines from the
  // entity) and keep libxml2 from printing anything.
  TParseFailure failure;
  failure.Document = context.get();
  context->_private = &failure;
  context->sax->serror = [](void* data, auto* error) {
    // Parsers for entity texts share _private with the document's parser.
    auto* failure = static_cast<TParseFailure*>(static_cast<xmlParserCtxt*>(data)->_private);
    if (failure->Seen || error == nullptr || error->level < XML_ERR_ERROR) return;
    if (data != failure->Document) return;
    failure->Seen = true;
    failure->Reason = error->message ? error->message : "";
    failure->Line = error->line;
  };

  // Failures of the input's encoding conversion bypass the parser's handler
  // and would be printed; their consequence reaches the handler anyway.
  const xmlGenericErrorFunc printer = xmlGenericError;
  void* const printerContext = xmlGenericErrorContext;
  xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
  // No XML_PARSE_NOENT (it would substitute entities), no DTD loading or
  // validation, no network.
  xmlDoc* document = xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()),
                                       nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
  xmlSetGenericErrorFunc(printerContext, printer);
  if (document == nullptr) {
    if (!failure.Seen) {
      const xmlError* last = xmlCtxtGetLastError(context.get());
      failure.Reason = last && last->message ? last->message : "The document could not be parsed";
      failure.Line = last ? last->line : 0;
    }
    LoadFailed(failure.Reason, failure.Line, SourceExcerpt(text, failure.Line));
  }
  FDocument.reset(document);
  if (xmlNode* root = xmlDocGetRootElement(document)) DropBlankText(root);
}

_xmlNode* TRateFeed::Node(TFeedEntry entry) const {
  if (!entry) throw ERateFeedError("No rate feed entry.");
  if (entry.FGeneration != FGeneration || !FDocument)
    throw ERateFeedError("The rate feed entry belongs to a feed no longer loaded.");
  return entry.FNode;
}

TFeedEntry TRateFeed::FirstEntry() const {
  xmlNode* root = FDocument ? xmlDocGetRootElement(FDocument.get()) : nullptr;
  for (xmlNode* node = root ? root->children : nullptr; node != nullptr; node = node->next)
    if (HasName(node, "item")) return TFeedEntry(node, FGeneration);
  throw ERateFeedError("The rate feed holds no entries.");
}

TFeedEntry TRateFeed::NextEntry(TFeedEntry entry) const {
  xmlNode* next = NextElement(Node(entry)->next);
  return next ? TFeedEntry(next, FGeneration) : TFeedEntry();
}

std::string TRateFeed::Text(TFeedEntry entry, const std::string& name) const {
  xmlNode* element = Node(entry)->children;
  while (element != nullptr && !HasName(element, name)) element = element->next;
  if (element == nullptr) return "";

  const xmlNode* content = element->children;
  if (content == nullptr) return "";
  if (content->next == nullptr &&
      (content->type == XML_TEXT_NODE || content->type == XML_CDATA_SECTION_NODE))
    return content->content ? reinterpret_cast<const char*>(content->content) : "";
  throw ERateFeedError("Element \"" + name + "\" does not contain a single text node");
}
