#pragma once

#include "core/Console.h"
#include "core/Result.h"

namespace velmora {

// The local protocol and safety self-test behind --self-test. It needs no network and no
// display, and works only on private scratch state: a fresh directory in the temporary folder
// and two throw-away defaults suites, all removed again whether it passes or not. On success it
// prints the one line "self-test=ok"; otherwise it prints nothing and returns the first failed
// check's sentence (ClientError::malformedData), or the error of an operation under test that
// could not run at all.
Status runSelfTest(Console &console);

} // namespace velmora
