// Running the engine for a command that shows a throughput chart: the points
// are collected while it runs, and the picture is drawn and bound to the
// command's chart line when it ends.
#pragma once

#include <memory>
#include <string>

#include "workload/engine.h"
#include "workload/request_source.h"

namespace tb {

// One source shared by every stream of the run, which takes the run's byte
// budget (the write/verify loops and the overlap test).
template <typename Source>
void use_shared_source(PerfParams& p, Source& source) {
    p.make_source = [&source](const SourcePlace&, ByteBudget& budget) {
        source.use_budget(budget);
        return std::make_unique<SharedSourceHandle>(source);
    };
}

// run_performance() with the chart of the run drawn as "<base>.png" and bound
// to `chart_line`.
int run_with_chart(int slot, int chart_line, PerfParams& p, WorkloadResult& result);

}  // namespace tb
