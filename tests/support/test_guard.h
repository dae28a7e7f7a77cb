// Bounds on every test of a test program, installed by its main: a test
// that runs longer than its limit, or goes on failing past a thousand
// failures (a loop that reports its failure on every turn and never ends),
// ends the program at once with a line naming the test. The limit is
// VELORN_CASE_LIMIT in seconds (60 without it); the CTest entries set it to
// fit what their tests do.
#pragma once

namespace testsupport {

void InstallTestGuard();

}  // namespace testsupport
