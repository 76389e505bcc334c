// Side-by-side ratios in the benchmark's own output: after the usual table, one
// line per pair of benchmarks run with the same argument, giving how many times
// the first one's bytes per second the second one reached.
#ifndef RATIO_REPORT_H
#define RATIO_REPORT_H

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

namespace ratio_report {

// Benchmark function names: `subject` is measured against `baseline`.
struct Pair {
    std::string subject;
    std::string baseline;
};

class Reporter : public benchmark::ConsoleReporter {
public:
    explicit Reporter(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            // With repetitions only the median stands for a benchmark.
            bool usable = run.run_type == Run::RT_Iteration ? run.repetitions <= 1
                                                            : run.aggregate_name == "median";
            auto rate = run.counters.find("bytes_per_second");
            if (!usable || run.error_occurred || rate == run.counters.end())
                continue;
            const std::string &args = run.run_name.args;
            if (rates_.find(args) == rates_.end())
                order_.push_back(args);
            rates_[args][run.run_name.function_name] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const std::string &args : order_) {
            const auto &by_name = rates_[args];
            for (const Pair &p : pairs_) {
                auto s = by_name.find(p.subject);
                auto b = by_name.find(p.baseline);
                if (s == by_name.end() || b == by_name.end() || b->second <= 0)
                    continue;
                std::printf("ratio %-8s %s / %s = %.2fx\n", args.c_str(), p.subject.c_str(), p.baseline.c_str(),
                            s->second / b->second);
            }
        }
    }

private:
    std::vector<Pair> pairs_;
    std::map<std::string, std::map<std::string, double>> rates_;  // args -> name -> bytes/s
    std::vector<std::string> order_;                              // args as first run
};

// A benchmark program's main: runs what the command line selects, then the ratios.
inline int run(int argc, char **argv, std::vector<Pair> pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Reporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace ratio_report

#endif
