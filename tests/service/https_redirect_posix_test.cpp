// Over real TLS on the loopback: a redirect from https down to plain http is not followed, so
// the caller's cookies and header lines never go out in clear; the 3xx reply is the answer. The
// test's own authority is trusted through ORNIVEL_CA_FILE. Linux only: WinHTTP and WinINet
// trust only the system's certificate store, into which Wine offers no tool to add one.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "http/http_request.h"
#include "service/file_fetch.h"
#include "tests/support/environment.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;

// A certificate for 127.0.0.1, made by the openssl tool; false when it could not be made.
bool MakeCertificate(const fs::path& folder) {
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
      (folder / "key.pem").string() + "' -out '" + (folder / "cert.pem").string() +
      "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

class HttpsRedirectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::FreshTestFolder("https");
    ASSERT_TRUE(MakeCertificate(folder_)) << "the openssl tool could not make a certificate";
    test::SetEnvironment("ORNIVEL_CA_FILE", (folder_ / "cert.pem").string());
    secure_ = std::make_unique<httplib::SSLServer>((folder_ / "cert.pem").c_str(),
                                                   (folder_ / "key.pem").c_str());
    ASSERT_TRUE(secure_->is_valid());
    plainPort_ = plain_.bind_to_any_port("127.0.0.1");
    securePort_ = secure_->bind_to_any_port("127.0.0.1");
    plain_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      ++plainRequests_;
      if (request.has_header("Cookie") || request.has_header("X-Secret")) ++leaked_;
      response.set_content("plain", "text/plain");
    });
    secure_->Get("/down", [this](const httplib::Request&, httplib::Response& response) {
      response.status = 302;
      response.set_header("Location", "http://127.0.0.1:" + std::to_string(plainPort_) + "/x");
      response.set_content("moved", "text/plain");
    });
    secure_->Get("/song", [this](const httplib::Request&, httplib::Response& response) {
      response.status = 302;
      response.set_header("Location",
                          "http://127.0.0.1:" + std::to_string(plainPort_) + "/song.mp3");
    });
    secure_->Get("/same", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.get_header_value("Cookie"), "text/plain");
    });
    plainThread_ = std::thread([this] { plain_.listen_after_bind(); });
    secureThread_ = std::thread([this] { secure_->listen_after_bind(); });
    // Listening before the test goes on: a stop before then would be lost, and TearDown's join
    // would wait for ever.
    ASSERT_TRUE(test::WaitUntil([this] { return plain_.is_running() && secure_->is_running(); }));
  }

  void TearDown() override {
    plain_.stop();
    if (secure_) secure_->stop();
    if (plainThread_.joinable()) plainThread_.join();
    if (secureThread_.joinable()) secureThread_.join();
    test::SetEnvironment("ORNIVEL_CA_FILE", "");
  }

  std::string Secure(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(securePort_) + path;
  }

  fs::path folder_;
  httplib::Server plain_;
  std::unique_ptr<httplib::SSLServer> secure_;
  int plainPort_ = 0, securePort_ = 0;
  std::thread plainThread_, secureThread_;
  std::atomic<int> plainRequests_{0}, leaked_{0};
};

TEST_F(HttpsRedirectTest, TheTestsAuthorityIsTrustedAndTheExchangeIsReal) {
  HttpRequestParams params;
  params.url = Secure("/same");
  params.cookies = "session=s3cret";
  EXPECT_EQ(HttpRequest(params), "session=s3cret");
  EXPECT_EQ(params.status, "200 OK");
}

TEST_F(HttpsRedirectTest, FromHttpsDownToHttpTheRedirectIsTheAnswer) {
  HttpRequestParams params;
  params.url = Secure("/down");
  params.cookies = "session=s3cret";
  params.extraHeaders = "X-Secret: token";
  EXPECT_EQ(HttpRequest(params), "moved");
  EXPECT_EQ(params.status.substr(0, 3), "302");
  EXPECT_EQ(params.location, "http://127.0.0.1:" + std::to_string(plainPort_) + "/x");
  // The song transfer fails on it rather than fetching the file in clear.
  std::string received;
  EXPECT_FALSE(FetchUrl(Secure("/song"),
                        [&received](std::span<const std::uint8_t> piece) {
                          received.append(piece.begin(), piece.end());
                          return true;
                        },
                        {}));
  EXPECT_EQ(received, "");
  EXPECT_EQ(plainRequests_.load(), 0);
  EXPECT_EQ(leaked_.load(), 0);
}

}  // namespace
}  // namespace ornivel
