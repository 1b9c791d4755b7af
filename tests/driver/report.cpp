// Where the driver's failure reports go.
#include "driver/report.h"

#include <cstdio>

namespace driver {

namespace {

FailureSink& Sink() {
    // A function's own static, so a sink set from another file's static initialiser finds it ready.
    static FailureSink sink;
    return sink;
}

} // namespace

void SetFailureSink(FailureSink sink) {
    Sink() = std::move(sink);
}

void ReportFailure(const std::string& what) {
    if (const FailureSink& sink = Sink())
        sink(what);
    else
        std::fprintf(stderr, "driver: %s\n", what.c_str());
}

} // namespace driver
