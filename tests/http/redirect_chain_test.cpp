// The redirect loop every backend shares, over a scripted sender: which hops it asks for, what
// each keeps of the request, and how a chain ends in each of its two modes.
#include "http/redirect_chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ornivel {
namespace {

struct ScriptedReply {
  HopHead head;
  HttpFailure failure = HttpFailure::kNone;
};

// Answers each hop with the next reply of its script, and keeps what it was asked and told.
class ScriptedSender final : public HopSender {
 public:
  explicit ScriptedSender(std::vector<ScriptedReply> script) : script_(std::move(script)) {}

  HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) override {
    hops.push_back(hop);
    const ScriptedReply& reply = script_.at(hops.size() - 1);
    uses.push_back(onHead(reply.head));
    return reply.failure;
  }

  std::vector<HttpHop> hops;
  std::vector<HopBody> uses;

 private:
  std::vector<ScriptedReply> script_;
};

HttpHop FirstHop(const std::string& url, const std::string& verb = "GET") {
  HttpHop hop;
  hop.url = *CrackHttpUrl(url);
  for (const HttpMethod method :
       {HttpMethod::kGet, HttpMethod::kPost, HttpMethod::kHead, HttpMethod::kPut}) {
    if (MethodName(method) == verb) hop.method = method;
  }
  EXPECT_EQ(MethodName(hop.method), verb);
  hop.withBody = verb != "HEAD";
  return hop;
}

HopHead Head(int status, const std::string& location, std::int64_t announced) {
  HopHead head;
  head.status = status;
  head.location = location;
  head.announced = announced;
  return head;
}
ScriptedReply Redirect(int status, const std::string& location) {
  return {Head(status, location, 0)};
}
ScriptedReply Final(int status = 200) {
  return {Head(status, "", 5)};
}

const HopHeadRule kDeliver = [](const HopHead&) { return HopBody::kDeliver; };

TEST(RedirectChainTest, TenRedirectsAreFollowedAndTheEleventhEndsTheChainByMode) {
  std::vector<ScriptedReply> script;
  for (int i = 1; i <= 11; ++i) script.push_back(Redirect(302, "/hop" + std::to_string(i)));
  script.push_back(Final());

  // A request: the eleventh redirect is the answer, body and all.
  ScriptedSender request(script);
  ChainEnd end = FollowRedirects(request, FirstHop("http://a.test/"), ChainRules{}, kDeliver);
  EXPECT_EQ(end.failure, HttpFailure::kNone);
  ASSERT_EQ(request.hops.size(), 11u);
  EXPECT_EQ(request.hops.back().url.objectName, "/hop10");
  EXPECT_EQ(request.hops.back().redirects, 10);
  EXPECT_TRUE(end.answered);
  EXPECT_FALSE(end.unfollowable);
  EXPECT_EQ(end.head.status, 302);
  EXPECT_EQ(request.uses.back(), HopBody::kDeliver);
  for (std::size_t i = 0; i + 1 < request.uses.size(); ++i) {
    EXPECT_EQ(request.uses[i], HopBody::kDiscard) << i;
  }

  // A song file: nothing of it is read, and the chain fails.
  ScriptedSender fetch(script);
  end = FollowRedirects(fetch, FirstHop("http://a.test/"), ChainRules{true, false}, kDeliver);
  EXPECT_EQ(fetch.hops.size(), 11u);
  EXPECT_FALSE(end.answered);
  EXPECT_TRUE(end.unfollowable);
  EXPECT_EQ(fetch.uses.back(), HopBody::kAbandon);
}

TEST(RedirectChainTest, EachStatusKeepsOrDropsTheVerbAndBodyAsBrowsersDo) {
  struct Case {
    std::string verb;
    int status;
    std::string nextVerb;
    bool nextBody;
  };
  const Case cases[] = {
      {"POST", 301, "GET", false}, {"POST", 302, "GET", false},  {"POST", 303, "GET", false},
      {"POST", 307, "POST", true}, {"POST", 308, "POST", true},  {"PUT", 301, "PUT", true},
      {"PUT", 302, "PUT", true},   {"PUT", 303, "GET", false},   {"PUT", 307, "PUT", true},
      {"GET", 303, "GET", false},  {"HEAD", 303, "HEAD", false}, {"HEAD", 301, "HEAD", false},
  };
  for (const Case& c : cases) {
    ScriptedSender sender({Redirect(c.status, "/next"), Final()});
    (void)FollowRedirects(sender, FirstHop("http://a.test/form", c.verb), ChainRules{}, kDeliver);
    ASSERT_EQ(sender.hops.size(), 2u) << c.verb << " " << c.status;
    EXPECT_EQ(MethodName(sender.hops[1].method), c.nextVerb) << c.verb << " " << c.status;
    EXPECT_EQ(sender.hops[1].withBody, c.nextBody) << c.verb << " " << c.status;
  }
}

TEST(RedirectChainTest, CredentialsGoOnlyToTheirOriginAndComeBackWithIt) {
  ScriptedSender sender({Redirect(302, "http://A.TEST/same-host-other-case"),
                         Redirect(302, "http://a.test:8080/other-port"),
                         Redirect(302, "http://b.test/other-host"),
                         Redirect(302, "http://a.test:80/back"),
                         Redirect(302, "https://a.test/other-scheme"), Final()});
  (void)FollowRedirects(sender, FirstHop("http://a.test/"), ChainRules{}, kDeliver);
  ASSERT_EQ(sender.hops.size(), 6u);
  const bool expected[] = {true, true, false, false, true, false};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(sender.hops[i].withCredentials, expected[i])
        << sender.hops[i].url.host << " " << sender.hops[i].url.port;
  }
}

TEST(RedirectChainTest, WhereARedirectLeadsAndWhenItLeadsNowhere) {
  // Relative values resolve against the hop that answered, not the first.
  ScriptedSender sender({Redirect(301, "//b.test/x/y"), Redirect(302, "../z?q=1#frag"),
                         Redirect(307, "?only=query"), Final()});
  (void)FollowRedirects(sender, FirstHop("http://a.test/dir/page"), ChainRules{}, kDeliver);
  ASSERT_EQ(sender.hops.size(), 4u);
  EXPECT_EQ(sender.hops[1].url.host, "b.test");
  EXPECT_EQ(sender.hops[1].url.objectName, "/x/y");
  EXPECT_EQ(sender.hops[2].url.objectName, "/z?q=1");
  EXPECT_EQ(sender.hops[3].url.objectName, "/z?only=query");

  // Another scheme, a value that is no address, and a redirect without a Location: the
  // response itself answers a request; a song file fails on the first two and takes the third.
  for (const std::string location :
       {"ftp://a.test/song.mp3", "javascript:alert(1)", "http://a.test/\r\nX-Injected: 1", ""}) {
    ScriptedSender request({Redirect(302, location)});
    ChainEnd end = FollowRedirects(request, FirstHop("http://a.test/"), ChainRules{}, kDeliver);
    EXPECT_TRUE(end.answered) << location;
    EXPECT_EQ(request.hops.size(), 1u);
    ScriptedSender fetch({Redirect(302, location)});
    end = FollowRedirects(fetch, FirstHop("http://a.test/"), ChainRules{true, false}, kDeliver);
    EXPECT_EQ(end.answered, location.empty()) << location;
    EXPECT_EQ(fetch.hops.size(), 1u);
  }

  // From https down to http is never followed (the headers would go out in clear); http up to
  // https and https to https are.
  ScriptedSender down({Redirect(302, "http://a.test/plain"), Final()});
  ChainEnd downEnd = FollowRedirects(down, FirstHop("https://a.test/"), ChainRules{}, kDeliver);
  EXPECT_EQ(down.hops.size(), 1u);
  EXPECT_EQ(downEnd.head.status, 302);
  ScriptedSender downFetch({Redirect(302, "http://a.test/song.mp3"), Final()});
  downEnd =
      FollowRedirects(downFetch, FirstHop("https://a.test/"), ChainRules{true, false}, kDeliver);
  EXPECT_TRUE(downEnd.unfollowable);
  EXPECT_FALSE(downEnd.answered);
  ScriptedSender up(
      {Redirect(301, "https://a.test/secure"), Redirect(302, "https://b.test/"), Final()});
  (void)FollowRedirects(up, FirstHop("http://a.test/"), ChainRules{}, kDeliver);
  EXPECT_EQ(up.hops.size(), 3u);

  // Not following at all: the first redirect is the answer.
  ScriptedSender unfollowed({Redirect(302, "/next"), Final()});
  const ChainEnd end =
      FollowRedirects(unfollowed, FirstHop("http://a.test/"), ChainRules{false, true}, kDeliver);
  EXPECT_EQ(unfollowed.hops.size(), 1u);
  EXPECT_EQ(end.head.status, 302);
  EXPECT_EQ(unfollowed.uses[0], HopBody::kDeliver);
}

TEST(RedirectChainTest, AFailedHopEndsTheChainWithItsFailure) {
  ScriptedSender sender({Redirect(302, "/a"), {Head(302, "/b", 0), HttpFailure::kRead}, Final()});
  const ChainEnd end = FollowRedirects(sender, FirstHop("http://a.test/"), ChainRules{}, kDeliver);
  EXPECT_EQ(end.failure, HttpFailure::kRead);
  EXPECT_EQ(sender.hops.size(), 2u);
  EXPECT_FALSE(end.answered);

  // The answer's own rule decides its body: an error page may be abandoned.
  ScriptedSender errorPage({Redirect(302, "/gone"), Final(404)});
  const ChainEnd page = FollowRedirects(
      errorPage, FirstHop("http://a.test/"), ChainRules{true, false}, [](const HopHead& head) {
        return head.status == 200 ? HopBody::kDeliver : HopBody::kAbandon;
      });
  EXPECT_TRUE(page.answered);
  EXPECT_EQ(page.head.status, 404);
  EXPECT_EQ(errorPage.uses.back(), HopBody::kAbandon);
}

}  // namespace
}  // namespace ornivel
