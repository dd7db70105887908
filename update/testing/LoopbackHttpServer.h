// A small HTTP/1.1 server on 127.0.0.1 for tests: files of one folder, and
// chosen paths answered with error statuses, delays, redirects, endless bodies.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// A canned answer for one path.
struct TLoopbackReply {
  int Status = 200;
  std::string Reason = "OK";
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  /// Wait this long before answering (cut short when the server stops).
  std::chrono::milliseconds Delay{0};
  /// Send the body, then filler, until the client goes away.
  bool Endless = false;
};

/// The server listens on an ephemeral port from construction to destruction;
/// every connection is served on a thread of its own and closed after one
/// answer. A request for /daily/NAME or /NAME without a reply of its own gets
/// the file NAME of the folder (no subfolders), else 404 Not Found. Request
/// targets in absolute form (as sent to a proxy) are served by their path.
class TLoopbackHttpServer {
 public:
  explicit TLoopbackHttpServer(std::string folder);
  ~TLoopbackHttpServer();
  TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
  TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

  std::uint16_t Port() const { return FPort; }
  /// "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;

  void Reply(const std::string& path, TLoopbackReply reply);
  void Status(const std::string& path, int status, const std::string& reason);
  void Redirect(const std::string& path, const std::string& location, int status = 302);

  /// The request targets received so far, in order, as sent.
  std::vector<std::string> Requests() const;
  /// How many requests asked for path (absolute-form targets by their path).
  int RequestCount(const std::string& path) const;

 private:
  void Accept();
  void Serve(int socket);
  bool SendAll(int socket, std::string_view data);
  TLoopbackReply Answer(const std::string& path) const;

  std::string FFolder;
  int FListener = -1;
  int FWake[2] = {-1, -1};
  std::uint16_t FPort = 0;
  std::atomic<bool> FStopping{false};
  mutable std::mutex FLock;
  std::map<std::string, TLoopbackReply> FReplies;
  std::vector<std::string> FRequests;
  std::vector<std::thread> FConnections;
  std::thread FAcceptor;
};
