// The cost of running a translator's rules once per event, and proof that it allocates nothing.
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "engine/TTransStepMath.h"
#include "foundation/VStringList.h"

#include "CountingAllocator.h"

#include <benchmark/benchmark.h>

namespace {

// Ten rules of the usual kinds: assignments and expressions, one condition, one goto.
const char* const kProgram = "pp=rr+1\n"
                             "qq=pp*3\n"
                             "if qq>100 then qq=qq-100\n"
                             "ss=qq<<2\n"
                             "tt=ss|0x0F\n"
                             "uu=tt&ga\n"
                             "goto \"end\"\n"
                             "vv=1\n"
                             "label \"end\"\n"
                             "ww=uu^pp";

class SilentLog : public Tr::TLogListener {
public:
    void logMessage(const Vorn::VString&) override {}
    void logIncoming(const Vorn::VString&, int, int, int) override {}
    void logOutgoing(const Vorn::VString&, int, int, int) override {}
    void logRule(const Vorn::VString&, int, int, int) override {}
};

// A log listener is set but rule logging is off, as in a running engine.
void BM_ExecuteTenRules(benchmark::State& state) {
    Tr::TGlobalTranslateParams globals;
    SilentLog log;
    globals.setLogListener(&log);
    globals.setGlobalVariable(0, 0xFF); // ga
    Tr::TTransStepMath rules;
    Vorn::VStringList errors;
    if (!rules.parseCode(kProgram, errors) || rules.count() != 10) {
        state.SkipWithError("the program does not parse");
        return;
    }
    Tr::TTransEvent event;
    event.clear();
    event.globals = &globals;
    int32_t key = 0;
    const long before = BenchSupport::allocations();
    for (auto _ : state) {
        event.locals[3] = key++ & 0x7F; // rr: as an incoming action would capture it
        benchmark::DoNotOptimize(rules.execute(event));
        benchmark::DoNotOptimize(event.locals);
    }
    const long allocated = BenchSupport::allocations() - before;
    state.counters["allocs/op"] = benchmark::Counter(static_cast<double>(allocated) /
                                                     static_cast<double>(state.iterations()));
    if (allocated != 0)
        state.SkipWithError("executing the rules allocated");
}
BENCHMARK(BM_ExecuteTenRules);

} // namespace
