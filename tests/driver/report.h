// Where the driver says what went wrong: a wait that ran out, input the system refused, a window
// that did not answer. The end-to-end tests turn each report into a test failure, the benchmarks
// print it; nothing in the driver knows which.
#pragma once

#include <functional>
#include <string>

namespace driver {

using FailureSink = std::function<void(const std::string& what)>;

// Sends every later report to sink; an empty sink restores the default, a line on standard error.
void SetFailureSink(FailureSink sink);

// Called by the driver where a caller that expected success should hear why it got none.
void ReportFailure(const std::string& what);

} // namespace driver
