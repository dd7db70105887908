// feedserver FOLDER: serves the files of FOLDER over HTTP on 127.0.0.1 (a
// feed EUR.xml at /daily/EUR.xml) until it is interrupted or terminated.
// Prints the port it listens on as the first line of standard output, so a
// script can start it in the background and read where it is.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "LoopbackHttpServer.h"

int main(int argc, char** argv) {
  if (argc != 2 || !std::filesystem::is_directory(argv[1])) {
    std::cerr << "usage: feedserver FOLDER\n"
                 "Serves the files of FOLDER on 127.0.0.1 (FOLDER/EUR.xml at /daily/EUR.xml)\n"
                 "and prints the port; stops on SIGINT or SIGTERM.\n";
    return 2;
  }
  // Block the stop signals before the server starts its threads, so that
  // they inherit the mask and only the wait below receives them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  TLoopbackHttpServer server(argv[1]);
  std::cout << server.Port() << std::endl;

  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
