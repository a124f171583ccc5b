#include "tests/support/thread_messages.h"

namespace ornivel::test {

void KeepAMessageWaiting() {}  // the waits here call the pump as they go, messages or not

}  // namespace ornivel::test
