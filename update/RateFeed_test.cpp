// The feed reader against a real HTTP server on loopback.
#include "RateFeed.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <vector>

#include "LoopbackHttpServer.h"

using namespace std::chrono_literals;

namespace {

const std::string kTestData = TESSALY_SOURCE_DIR "/update/testdata";
const char* const kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                       "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};

// The five texts in the order the update run reads them.
using TEntryTexts = std::map<std::string, std::string>;

std::vector<TEntryTexts> ReadAll(const TRateFeed& feed) {
  std::vector<TEntryTexts> entries;
  for (TFeedEntry entry = feed.FirstEntry(); entry; entry = feed.NextEntry(entry)) {
    TEntryTexts texts;
    for (const char* name : {"pubDate", "description", "title", "targetCurrency", "exchangeRate"})
      texts[name] = feed.Text(entry, name);
    entries.push_back(texts);
  }
  return entries;
}

std::vector<std::string> Targets(const TRateFeed& feed) {
  std::vector<std::string> targets;
  for (const TEntryTexts& entry : ReadAll(feed)) targets.push_back(entry.at("targetCurrency"));
  return targets;
}

// The message of the ERateFeedError that action raises, or "" when none.
std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERateFeedError& error) {
    return error.Message();
  }
  return "";
}

std::string TransferFailure(const std::string& reason) {
  return reason + "\r\nLine: 0\r\n";
}

// A loopback port that nothing listens on.
std::uint16_t ClosedPort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

class RateFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kProxyVariables) unsetenv(name);
    // Short limits keep the failure tests quick; nothing here needs more.
    feed.SetConnectTimeout(2s);
    feed.SetTransferTimeout(5s);
  }
  void TearDown() override {
    for (const char* name : kProxyVariables) unsetenv(name);
  }

  TLoopbackHttpServer server{kTestData};
  TRateFeed feed;
};

TEST_F(RateFeedTest, ReadsEveryEntryOfAFeedInDocumentOrder) {
  // The limits a reader starts with.
  EXPECT_EQ(10s, TRateFeed().ConnectTimeout());
  EXPECT_EQ(60s, TRateFeed().TransferTimeout());

  feed.Load(server.Url("/daily/EUR.xml"));
  const std::vector<TEntryTexts> entries = ReadAll(feed);
  ASSERT_EQ(5u, entries.size());
  EXPECT_EQ((TEntryTexts{{"pubDate", "Wed, 9 Dec 2026 00:00:01 GMT"},
                         {"description", "1 Euro = 1.09210000 U.S. Dollar"},
                         {"title", "EUR/USD"},
                         {"targetCurrency", "USD"},
                         {"exchangeRate", "1.09210000"}}),
            entries[0]);
  EXPECT_EQ((std::vector<std::string>{"USD", "GBP", "CHF", "JPY", "CAD"}), Targets(feed));
  EXPECT_EQ("0.85630000", entries[1].at("exchangeRate"));
  // Children the reader does not ask for are simply there.
  EXPECT_EQ("0.91566706", feed.Text(feed.FirstEntry(), "inverseRate"));
}

TEST_F(RateFeedTest, FetchesAfreshOnEveryLoad) {
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(server.Url("/daily/EUR.xml"), RateFeedAddress(host, "EUR"));
  EXPECT_EQ(server.Url("/daily/usd.xml"), RateFeedAddress(host, "usd"));

  feed.Load(RateFeedAddress(host, "EUR"));
  feed.Load(RateFeedAddress(host, "EUR"));
  EXPECT_EQ(2, server.RequestCount("/daily/EUR.xml"));
  feed.Load(RateFeedAddress(host, "USD"));
  EXPECT_EQ((std::vector<std::string>{"EUR", "GBP", "CHF", "JPY", "CAD"}), Targets(feed));
}

TEST_F(RateFeedTest, EntriesOfAnEarlierDocumentAreRefused) {
  feed.Load(server.Url("/daily/EUR.xml"));
  const TFeedEntry old = feed.FirstEntry();
  feed.Load(server.Url("/daily/GBP.xml"));
  EXPECT_NE("", Failure([&] { feed.Text(old, "title"); }));
  EXPECT_NE("", Failure([&] { feed.NextEntry(old); }));
  EXPECT_NE("", Failure([&] { feed.Text(TFeedEntry(), "title"); }));
  EXPECT_EQ("GBP/EUR", feed.Text(feed.FirstEntry(), "title"));
}

TEST_F(RateFeedTest, RootMayHaveAnyName) {
  feed.Load(server.Url("/daily/other_root.xml"));
  EXPECT_EQ((std::vector<std::string>{"EUR", "USD"}), Targets(feed));
  EXPECT_EQ("1.16032724", feed.Text(feed.NextEntry(feed.FirstEntry()), "exchangeRate"));
}

TEST_F(RateFeedTest, EntriesRunFromTheFirstItemOverEveryFollowingElement) {
  feed.Load(server.Url("/daily/odd_entries.xml"));
  const std::vector<TEntryTexts> entries = ReadAll(feed);
  // Root children before the first item are never entries; the note and the
  // summary after it are; the comment and the processing instruction are not.
  EXPECT_EQ((std::vector<std::string>{"EUR", "", "JPY", "CHF", "USD", "CAD"}), Targets(feed));
  ASSERT_EQ(6u, entries.size());
  EXPECT_EQ("", entries[0].at("pubDate"));                // missing
  EXPECT_EQ("", entries[0].at("description"));            // no content
  EXPECT_EQ("", entries[1].at("exchangeRate"));           // the note
  EXPECT_EQ("GBP/JPY <daily>", entries[2].at("title"));   // CDATA
  EXPECT_EQ("", entries[2].at("description"));            // blanks only
  EXPECT_EQ("189,595.0", entries[2].at("exchangeRate"));  // as written
  EXPECT_EQ("1.099,15", entries[3].at("exchangeRate"));
  EXPECT_EQ("", entries[4].at("exchangeRate"));  // missing
}

TEST_F(RateFeedTest, BlankTextIsDroppedAtEveryDepth) {
  // Also where the document asks for its blanks to be kept; blank character
  // data is content, not layout.
  feed.LoadXML(
      "<channel xml:space=\"preserve\">\n <item>\n  <title> </title>\n"
      "  <description> <![CDATA[1 < 2]]> </description>\n"
      "  <link><![CDATA[ ]]></link>\n </item>\n</channel>\n");
  const TFeedEntry entry = feed.FirstEntry();
  EXPECT_EQ("", feed.Text(entry, "title"));
  EXPECT_EQ("1 < 2", feed.Text(entry, "description"));
  EXPECT_EQ(" ", feed.Text(entry, "link"));  // character data is kept as written
  EXPECT_FALSE(feed.NextEntry(entry));
}

TEST_F(RateFeedTest, TextOtherThanOneTextNodeFails) {
  feed.Load(server.Url("/daily/bad_texts.xml"));
  const TFeedEntry nested = feed.FirstEntry();
  EXPECT_EQ("Element \"description\" does not contain a single text node",
            Failure([&] { feed.Text(nested, "description"); }));
  EXPECT_EQ("USD/EUR", feed.Text(nested, "title"));

  const TFeedEntry comment = feed.NextEntry(nested);
  EXPECT_EQ("Element \"pubDate\" does not contain a single text node",
            Failure([&] { feed.Text(comment, "pubDate"); }));

  const TFeedEntry mixed = feed.NextEntry(comment);
  EXPECT_EQ("Element \"exchangeRate\" does not contain a single text node",
            Failure([&] { feed.Text(mixed, "exchangeRate"); }));
  EXPECT_FALSE(feed.NextEntry(mixed));
}

TEST_F(RateFeedTest, AFeedWithoutItemsHasNoEntries) {
  feed.Load(server.Url("/daily/no_entries.xml"));
  EXPECT_EQ("The rate feed holds no entries.", Failure([&] { feed.FirstEntry(); }));

  feed.LoadXML("<channel/>");
  EXPECT_EQ("The rate feed holds no entries.", Failure([&] { feed.FirstEntry(); }));
}

TEST_F(RateFeedTest, ADocumentThatIsNotWellFormedGivesReasonLineAndExcerpt) {
  feed.Load(server.Url("/daily/EUR.xml"));
  const std::string message = Failure([&] { feed.Load(server.Url("/daily/not_well_formed.xml")); });
  const std::string tail = "\r\nLine: 7\r\n    <targetCurrency>USD</targetCurrency>";
  ASSERT_GT(message.size(), tail.size());
  EXPECT_TRUE(message.starts_with("Opening and ending tag mismatch")) << message;
  EXPECT_TRUE(message.ends_with(tail)) << message;
  EXPECT_EQ(message.find("\r\nLine"), message.find_first_of("\r\n")) << "reason trimmed";

  // Input the parser cannot convert fails the load; nothing goes to standard
  // error.
  ::testing::internal::CaptureStderr();
  const std::string unconverted = Failure([&] {
    feed.LoadXML(
        "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n"
        "<channel><item><title>\x1b$B\xff\xff</title></item></channel>\n");
  });
  EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, unconverted.find("\r\nLine: 2\r\n")) << unconverted;

  // The failed load released the earlier document.
  EXPECT_FALSE(feed.Loaded());
  EXPECT_EQ("The rate feed holds no entries.", Failure([&] { feed.FirstEntry(); }));
}

TEST_F(RateFeedTest, ExcerptsAreCutAtACharacterAndLoseTheCarriageReturn) {
  // 39 letters, then a two-byte character at position 40 and more after it.
  const std::string line = std::string(39, 'a') + "\xC3\xA9" + "bbb </oops>";
  const std::string message = Failure([&] { feed.LoadXML("<channel>\r\n" + line + "\r\n"); });
  EXPECT_TRUE(message.ends_with("\r\nLine: 2\r\n" + std::string(39, 'a') + "\xC3\xA9")) << message;

  EXPECT_TRUE(Failure([&] { feed.LoadXML(""); }).ends_with("\r\nLine: 1\r\n")) << "empty body";
}

TEST_F(RateFeedTest, AnErrorStatusFailsWithStatusAndReason) {
  EXPECT_EQ(TransferFailure("HTTP 404 Not Found"),
            Failure([&] { feed.Load(server.Url("/daily/XYZ.xml")); }));
  server.Status("/daily/EUR.xml", 503, "Service Unavailable");
  EXPECT_EQ(TransferFailure("HTTP 503 Service Unavailable"),
            Failure([&] { feed.Load(server.Url("/daily/EUR.xml")); }));
}

TEST_F(RateFeedTest, UnreachableServersFailWithTheTransferReason) {
  const std::string unresolved =
      Failure([&] { feed.Load("http://nonexistent.invalid/daily/EUR.xml"); });
  EXPECT_TRUE(unresolved.starts_with("Could not resolve host: nonexistent.invalid")) << unresolved;
  EXPECT_TRUE(unresolved.ends_with("\r\nLine: 0\r\n")) << unresolved;

  const std::uint16_t port = ClosedPort();
  const std::string refused =
      Failure([&] { feed.Load("http://127.0.0.1:" + std::to_string(port) + "/daily/EUR.xml"); });
  EXPECT_TRUE(refused.starts_with("Failed to connect to 127.0.0.1 port " + std::to_string(port)))
      << refused;
  EXPECT_TRUE(refused.ends_with("\r\nLine: 0\r\n")) << refused;
}

TEST_F(RateFeedTest, ASlowAnswerWithinTheLimitLoadsAndOnePastItTimesOut) {
  TLoopbackReply slow;
  slow.Body = "<channel><item><targetCurrency>USD</targetCurrency></item></channel>";
  slow.Delay = 200ms;
  server.Reply("/daily/slow.xml", slow);
  feed.Load(server.Url("/daily/slow.xml"));
  EXPECT_EQ((std::vector<std::string>{"USD"}), Targets(feed));

  slow.Delay = 60s;  // cut short when the server stops
  server.Reply("/daily/stalled.xml", slow);
  feed.SetTransferTimeout(300ms);
  const std::string message = Failure([&] { feed.Load(server.Url("/daily/stalled.xml")); });
  EXPECT_TRUE(message.starts_with("Operation timed out after")) << message;
  EXPECT_TRUE(message.ends_with("\r\nLine: 0\r\n")) << message;
}

TEST_F(RateFeedTest, BodiesOverTheLimitAreRefused) {
  const std::string refused = TransferFailure("The response is larger than 16 MiB");
  TLoopbackReply endless;
  endless.Body = "<channel>";
  endless.Endless = true;
  server.Reply("/daily/endless.xml", endless);
  EXPECT_EQ(refused, Failure([&] { feed.Load(server.Url("/daily/endless.xml")); }));

  endless.Headers.emplace_back("Content-Length", std::to_string(TRateFeed::MaxBodySize + 1));
  server.Reply("/daily/declared.xml", endless);
  EXPECT_EQ(refused, Failure([&] { feed.Load(server.Url("/daily/declared.xml")); }));

  // Exactly the limit is still a feed.
  const std::string item = "<item><targetCurrency>CHF</targetCurrency></item></channel>";
  TLoopbackReply full;
  full.Body = "<channel>" + std::string(TRateFeed::MaxBodySize - 9 - item.size(), ' ') + item;
  ASSERT_EQ(TRateFeed::MaxBodySize, full.Body.size());
  server.Reply("/daily/full.xml", full);
  feed.Load(server.Url("/daily/full.xml"));
  EXPECT_EQ((std::vector<std::string>{"CHF"}), Targets(feed));

  full.Body += ' ';
  server.Reply("/daily/full.xml", full);
  EXPECT_EQ(refused, Failure([&] { feed.Load(server.Url("/daily/full.xml")); }));
}

TEST_F(RateFeedTest, RedirectsAreFollowedFiveTimesOverHttpOnly) {
  server.Redirect("/r1", "/r2");
  server.Redirect("/r2", "/r3", 301);
  server.Redirect("/r3", "/r4", 307);
  server.Redirect("/r4", "/r5");
  server.Redirect("/r5", "/daily/CHF.xml");
  feed.Load(server.Url("/r1"));
  EXPECT_EQ((std::vector<std::string>{"EUR", "USD", "GBP", "JPY", "CAD"}), Targets(feed));

  server.Redirect("/r0", "/r1");
  const std::string tooMany = Failure([&] { feed.Load(server.Url("/r0")); });
  EXPECT_TRUE(tooMany.starts_with("Maximum (5) redirects followed")) << tooMany;

  server.Redirect("/file", "file://" + kTestData + "/EUR.xml");
  const std::string file = Failure([&] { feed.Load(server.Url("/file")); });
  EXPECT_TRUE(file.ends_with("\r\nLine: 0\r\n")) << file;
  EXPECT_FALSE(feed.Loaded());
  EXPECT_NE("", Failure([&] { feed.Load("file://" + kTestData + "/EUR.xml"); }));
}

TEST_F(RateFeedTest, ProxiesComeFromTheEnvironment) {
  TLoopbackHttpServer proxy{kTestData};
  setenv("http_proxy", proxy.Url("").c_str(), 1);
  feed.Load("http://rates.invalid/daily/GBP.xml");
  EXPECT_EQ((std::vector<std::string>{"http://rates.invalid/daily/GBP.xml"}), proxy.Requests());
  EXPECT_EQ("EUR", feed.Text(feed.FirstEntry(), "targetCurrency"));
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(RateFeedTest, EntitiesAreNeitherFetchedNorExpanded) {
  const std::string base = server.Url("");
  TLoopbackReply reply;
  reply.Body =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE channel SYSTEM \"" +
      base +
      "/feed.dtd\" [\n"
      "  <!ENTITY remote SYSTEM \"" +
      base +
      "/secret.txt\">\n"
      "  <!ENTITY local SYSTEM \"file://" +
      kTestData +
      "/secret.txt\">\n"
      "  <!ENTITY % parameter SYSTEM \"" +
      base +
      "/param.dtd\">\n"
      "  %parameter;\n"
      "  <!ENTITY company \"Seavane\">\n"
      "]>\n"
      "<channel>\n"
      "  <item><title>&remote;</title><description>&local;</description>"
      "<pubDate>&company;</pubDate><targetCurrency>USD &amp; more</targetCurrency></item>\n"
      "</channel>\n";
  server.Reply("/daily/entities.xml", reply);
  feed.Load(server.Url("/daily/entities.xml"));

  EXPECT_EQ((std::vector<std::string>{"/daily/entities.xml"}), server.Requests());
  const TFeedEntry entry = feed.FirstEntry();
  for (const char* name : {"title", "description", "pubDate"})
    EXPECT_EQ("Element \"" + std::string(name) + "\" does not contain a single text node",
              Failure([&] { feed.Text(entry, name); }));
  // Character references and the predefined entities are plain text.
  EXPECT_EQ("USD & more", feed.Text(entry, "targetCurrency"));

  // Nested entities are never multiplied out: the parser refuses the
  // document, or the texts refuse the references.
  std::string laughs = "<!DOCTYPE channel [<!ENTITY l0 \"lol\">";
  for (int level = 1; level < 10; ++level) {
    laughs += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int n = 0; n < 10; ++n) laughs += "&l" + std::to_string(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><channel><item><title>&l9;</title></item></channel>";
  if (Failure([&] { feed.LoadXML(laughs); }).empty()) {
    EXPECT_NE("", Failure([&] { feed.Text(feed.FirstEntry(), "title"); }));
  }
}

}  // namespace
