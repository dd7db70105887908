// A small HTTP/1.1 server on 127.0.0.1 for tests.
#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace {

constexpr int kPollMs = 20;

[[noreturn]] void SystemFailure(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// The path of a request target; "http://host:port/p?q" and "/p?q" give "/p".
std::string PathOf(std::string target) {
  if (target.starts_with("http://") || target.starts_with("https://")) {
    const std::size_t slash = target.find('/', target.find("//") + 2);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  return target.substr(0, target.find('?'));
}

}  // namespace

TLoopbackHttpServer::TLoopbackHttpServer(std::string folder) : FFolder(std::move(folder)) {
  if (pipe2(FWake, O_CLOEXEC) != 0) SystemFailure("pipe");
  FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FListener < 0) SystemFailure("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    SystemFailure("bind");
  if (listen(FListener, 16) != 0) SystemFailure("listen");
  if (getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    SystemFailure("getsockname");
  FPort = ntohs(address.sin_port);
  FAcceptor = std::thread([this] { Accept(); });
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
  FStopping = true;
  const char wake = 1;
  (void)!write(FWake[1], &wake, 1);
  FAcceptor.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(FLock);
    connections.swap(FConnections);
  }
  for (std::thread& connection : connections) connection.join();
  close(FListener);
  close(FWake[0]);
  close(FWake[1]);
}

std::string TLoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TLoopbackHttpServer::Reply(const std::string& path, TLoopbackReply reply) {
  std::lock_guard lock(FLock);
  FReplies[path] = std::move(reply);
}

void TLoopbackHttpServer::Status(const std::string& path, int status, const std::string& reason) {
  TLoopbackReply reply;
  reply.Status = status;
  reply.Reason = reason;
  reply.Body = "<html><body><h1>" + reason + "</h1></body></html>\n";
  reply.Headers.emplace_back("Content-Type", "text/html");
  Reply(path, std::move(reply));
}

void TLoopbackHttpServer::Redirect(const std::string& path, const std::string& location,
                                   int status) {
  TLoopbackReply reply;
  reply.Status = status;
  reply.Reason = "Found";
  reply.Body = "<html><body><a href=\"" + location + "\">moved</a></body></html>\n";
  reply.Headers.emplace_back("Location", location);
  Reply(path, std::move(reply));
}

std::vector<std::string> TLoopbackHttpServer::Requests() const {
  std::lock_guard lock(FLock);
  return FRequests;
}

int TLoopbackHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard lock(FLock);
  int count = 0;
  for (const std::string& target : FRequests) count += PathOf(target) == path;
  return count;
}

void TLoopbackHttpServer::Accept() {
  pollfd watch[2] = {{FListener, POLLIN, 0}, {FWake[0], POLLIN, 0}};
  while (!FStopping) {
    if (poll(watch, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watch[1].revents) return;
    const int socket = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    std::lock_guard lock(FLock);
    FConnections.emplace_back([this, socket] {
      Serve(socket);
      close(socket);
    });
  }
}

bool TLoopbackHttpServer::SendAll(int socket, std::string_view data) {
  while (!data.empty()) {
    pollfd watch{socket, POLLOUT, 0};
    if (FStopping) return false;
    if (poll(&watch, 1, kPollMs) <= 0) continue;
    const ssize_t sent = send(socket, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

TLoopbackReply TLoopbackHttpServer::Answer(const std::string& path) const {
  {
    std::lock_guard lock(FLock);
    if (auto found = FReplies.find(path); found != FReplies.end()) return found->second;
  }
  std::string name = path.starts_with("/daily/") ? path.substr(7) : path.substr(1);
  TLoopbackReply reply;
  std::ifstream file;
  if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != "..")
    file.open(FFolder + "/" + name, std::ios::binary);
  if (!file) {
    reply.Status = 404;
    reply.Reason = "Not Found";
    reply.Body = "<html><body><h1>Not Found</h1></body></html>\n";
    reply.Headers.emplace_back("Content-Type", "text/html");
    return reply;
  }
  std::ostringstream content;
  content << file.rdbuf();
  reply.Body = content.str();
  reply.Headers.emplace_back("Content-Type", "application/xml");
  return reply;
}

void TLoopbackHttpServer::Serve(int socket) {
  // Read the request head; a GET carries no body.
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd watch{socket, POLLIN, 0};
    if (FStopping || request.size() > 65536) return;
    if (poll(&watch, 1, kPollMs) <= 0) continue;
    char buffer[4096];
    const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  std::istringstream line(request.substr(0, request.find("\r\n")));
  std::string method, target;
  line >> method >> target;
  {
    std::lock_guard lock(FLock);
    FRequests.push_back(target);
  }

  TLoopbackReply reply;
  if (method != "GET") {
    reply.Status = 405;
    reply.Reason = "Method Not Allowed";
  } else {
    reply = Answer(PathOf(target));
  }
  for (auto waited = std::chrono::milliseconds(0); waited < reply.Delay;
       waited += std::chrono::milliseconds(kPollMs)) {
    if (FStopping) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }

  std::string head =
      "HTTP/1.1 " + std::to_string(reply.Status) + " " + reply.Reason + "\r\nConnection: close\r\n";
  bool hasLength = false;
  for (const auto& [name, value] : reply.Headers) {
    head += name + ": " + value + "\r\n";
    hasLength = hasLength || name == "Content-Length";
  }
  if (!reply.Endless && !hasLength)
    head += "Content-Length: " + std::to_string(reply.Body.size()) + "\r\n";
  head += "\r\n";
  if (!SendAll(socket, head) || !SendAll(socket, reply.Body)) return;
  if (reply.Endless) {
    const std::string filler(65536, ' ');
    while (SendAll(socket, filler)) {
    }
  }
  shutdown(socket, SHUT_WR);
}
