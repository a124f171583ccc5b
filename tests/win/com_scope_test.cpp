// COM initialisation of a thread by the automation helpers (Windows only): each one that took
// place is balanced, and one that failed is not undone.
#include <gtest/gtest.h>

#include <thread>

#include "regex/regex_object.h"
#include "win/com.h"

namespace ornivel {
namespace {

// Whether the calling thread has COM initialised itself (the process's implicit multithreaded
// apartment, which a thread without COM is counted in, does not count).
bool ThreadHasCom() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (FAILED(CoGetApartmentType(&type, &qualifier))) return false;
  return qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

TEST(ComScopeTest, EveryInitialisationThatTookPlaceIsBalanced) {
  std::thread([] {
    EXPECT_FALSE(ThreadHasCom());
    {
      const ComScope outer;  // S_OK
      EXPECT_TRUE(ThreadHasCom());
      { const ComScope inner; }  // S_FALSE: the thread had COM already; balanced too
      EXPECT_TRUE(ThreadHasCom());
    }
    EXPECT_FALSE(ThreadHasCom());
  }).join();
}

TEST(ComScopeTest, AFailedInitialisationLeavesTheThreadsOwnAlone) {
  std::thread([] {
    // The thread is in the multithreaded apartment: CoInitialize, which asks for a
    // single-threaded one, fails with RPC_E_CHANGED_MODE.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    { const ComScope scope; }
    EXPECT_TRUE(ThreadHasCom());
    {
      RegexObject regex;
      EXPECT_TRUE(regex.Create("b", "abcb"));
      EXPECT_EQ(regex.MatchCount(), 2);
    }
    EXPECT_TRUE(ThreadHasCom());
    CoUninitialize();
    EXPECT_FALSE(ThreadHasCom());
  }).join();
}

}  // namespace
}  // namespace ornivel
