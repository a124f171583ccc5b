// ornivel-fetch run as a program, against a loopback server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/raw_http_server.h"

namespace ornivel {
namespace {

struct FetchRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

FetchRun Fetch(const std::string& args) {
  // ctest runs tests in parallel processes: each run gets a file of its own.
  static int runs = 0;
  const std::string errFile = testing::TempDir() + "fetch-stderr-" + std::to_string(::getpid()) +
                              "-" + std::to_string(++runs) + ".txt";
  const std::string command = std::string(ORNIVEL_FETCH) + " " + args + " 2>" + errFile;
  FetchRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  std::remove(errFile.c_str());
  return run;
}

TEST(FetchToolTest, PrintsLabelledLinesAndTheBodyInUtf8) {
  test::RawHttpServer server([](const std::string&) {
    // The page declares no charset: its GBK bytes come back as GBK text, shown as UTF-8.
    return test::RawReply{
        test::HttpResponse("200 OK", "Set-Cookie: a=1; path=/\r\n", "\xD6\xD0\xCE\xC4")};
  });
  const FetchRun run = Fetch("--cookies '' --header 'X-Test: 1' " + server.url("/x"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "中文");
  EXPECT_NE(run.err.find("status: 200 OK\n"), std::string::npos);
  EXPECT_NE(run.err.find("newCookies: a=1\n"), std::string::npos);
  EXPECT_NE(run.err.find("cookies: a=1\n"), std::string::npos);
  EXPECT_NE(run.err.find("responseHeaders: HTTP/1.1 200 OK\n"), std::string::npos);
  EXPECT_NE(server.requests().at(0).find("X-Test: 1\r\n"), std::string::npos);
}

TEST(FetchToolTest, RawWritesTheBytesAsReceived) {
  test::RawHttpServer server([](const std::string&) {
    return test::RawReply{test::HttpResponse("404 Not Found", "", "\xD6\xD0")};
  });
  const FetchRun run = Fetch("--raw --method post --body k=v " + server.url());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "\xD6\xD0");
  EXPECT_NE(run.err.find("status: 404 Not Found\n"), std::string::npos);
  EXPECT_EQ(server.requests().at(0).substr(0, 5), "POST ");
}

TEST(FetchToolTest, NumberedFailureExitsWithOneAndUsageErrorsWithTwo) {
  const FetchRun failed = Fetch("ftp://127.0.0.1/");
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("status: 701 解析URL地址失败!\n"), std::string::npos);

  for (const std::string args :
       {"", "--method FETCH http://h/", "--bogus http://h/", "http://a/ http://b/", "--timeout"}) {
    const FetchRun usage = Fetch(args);
    EXPECT_EQ(usage.exitCode, 2) << args;
    EXPECT_NE(usage.err.find("usage: ornivel-fetch"), std::string::npos) << args;
  }
}

}  // namespace
}  // namespace ornivel
