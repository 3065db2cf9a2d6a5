// Cost of one compass reading on the simulated board: bus transfers, simulated bus and total time
// against the module's floor, heap allocations, and host CPU time per get_magneto.
// Built once per module (bench_bypassmag, bench_directmag).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "compass/compass.hpp"
#include "i2cbus/bus.h"
#include "sim/board.hpp"

// --- Heap allocation counter: every malloc-family call and operator new in the process. ---------
namespace {
std::size_t allocations = 0;
}

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    ++allocations;
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    ++allocations;
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    ++allocations;
    return __libc_realloc(p, n);
}
}

void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = __libc_malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    __libc_free(p);
}

namespace {

#if defined(COMPASS_MODULE_BYPASSMAG)
constexpr const char* module_name = "bypassmag";
// One write, the 8 ms wait and six reads.
constexpr double floor_bus_us = 290.0 + 6 * 390.0;
constexpr double floor_total_us = floor_bus_us + 8000.0;
#elif defined(COMPASS_MODULE_DIRECTMAG)
constexpr const char* module_name = "directmag";
// Six reads.
constexpr double floor_bus_us = 6 * 390.0;
constexpr double floor_total_us = floor_bus_us;
#else
#error "build this benchmark against one compass module"
#endif

// Adds the logged calls to the totals: bus transfers (setup, read, write) and time spent in delay.
void fold_log(std::int64_t& transfers, std::int64_t& delay_ns) {
    for (const sim::transfer& t : sim::board().log()) {
        if (t.kind == sim::op::delay) {
            delay_ns += std::int64_t{t.value} * 1'000'000;
        } else {
            ++transfers;
        }
    }
    sim::board().clear_log();
}

// The module's handle, set up once in main(): Google Benchmark calls the benchmark function once
// per trial run, and the module would greet each with its set-up lines.
int module_fd = -1;

void get_magneto_on_simulated_board(benchmark::State& state) {
    const int fd = module_fd;
    sim::board().clear_log();

    std::int64_t transfers = 0;
    std::int64_t delay_ns = 0;
    const std::int64_t t0 = sim::board().now_ns();
    const std::size_t allocs0 = allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(get_magneto(fd));
        // Fold the log into the totals now and then, well before it fills.
        if (sim::board().log().size() > sim::log_capacity / 2) {
            state.PauseTiming();
            fold_log(transfers, delay_ns);
            state.ResumeTiming();
        }
    }
    const std::size_t allocs = allocations - allocs0;
    fold_log(transfers, delay_ns);
    const double total_us = static_cast<double>(sim::board().now_ns() - t0) / 1000.0;
    const double bus_us = total_us - static_cast<double>(delay_ns) / 1000.0;

    using benchmark::Counter;
    state.counters["transfers"] = Counter(static_cast<double>(transfers), Counter::kAvgIterations);
    state.counters["sim_bus_us"] = Counter(bus_us, Counter::kAvgIterations);
    state.counters["sim_total_us"] = Counter(total_us, Counter::kAvgIterations);
    state.counters["floor_bus_us"] = floor_bus_us;
    state.counters["floor_total_us"] = floor_total_us;
    state.counters["heap_allocs"] = Counter(static_cast<double>(allocs), Counter::kAvgIterations);
    // Allocations of the whole process so far: non-zero shows the counter is hooked in.
    state.counters["process_allocs"] = static_cast<double>(allocations);
    state.SetLabel(module_name);
}
BENCHMARK(get_magneto_on_simulated_board);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    std::printf("%s on the simulated board, set up once:\n", module_name);
    sim::board().reset();
    module_fd = setup_magneto();
    delay(20);  // a first sample for a continuously measuring sensor
    get_magneto(module_fd);
    std::printf("\n");
    (void)std::fflush(stdout);
    // Debian builds Google Benchmark without NDEBUG, and its library then warns of itself.
    std::fprintf(stderr,
                 "note: a \"Library was built as DEBUG\" warning below is about Google Benchmark's "
                 "own library (Debian's is built without NDEBUG), not the code measured: the "
                 "module is the kit's %s build, and the simulated bus figures do not depend on "
                 "it.\n",
                 BENCH_BUILD_TYPE);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
