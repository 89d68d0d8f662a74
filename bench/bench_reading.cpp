// Collecting a long reply: every chunk is appended and searched where a
// match through it could lie, so the cost of a reply grows with its length.
// This keeps that cost in view for replies up to the full buffer, also for
// replies made of the terminator's first byte (each byte a candidate).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "sim.h"
#include "qovlib.h"

namespace {

void readReplyInChunks(benchmark::State& state, char fill) {
    const int chunks = static_cast<int>(state.range(0));
    const std::string path = "\\\\?\\usb#vid_0000&pid_0001#BENCH#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    for (auto _ : state) {
        state.PauseTiming();
        qov::sim::SimScope sim;
        std::vector<qov::sim::Step> script(static_cast<std::size_t>(chunks - 1),
                                           qov::sim::reply(std::string(512, fill)));
        script.push_back(qov::sim::reply(std::string(507, fill) + "END\r\n"));
        qov::sim::Device& d = sim->addDevice(path, qov::sim::DeviceKind::Usb);
        d.io.script = script;
        auto& c = qov::connection();
        c.current.handle = sim->createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite, 0,
                                           qov::Disposition::OpenExisting, qov::kFlagOverlapped);
        c.current.usbFlag = 1;
        c.current.overlappedUsbFlag = 1;
        c.connectionOpenFlag = 1;
        state.ResumeTiming();

        const char* reply = QOVA_Read_withTimeout("END\r\n", 1000, 0, 0);
        benchmark::DoNotOptimize(reply);

        state.PauseTiming();
        if (std::string(reply).size() != static_cast<std::size_t>(chunks) * 512) {
            state.SkipWithError("the reply was not collected whole");
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * chunks * 512);
}
void BM_ReadReplyInChunks(benchmark::State& state) { readReplyInChunks(state, 'r'); }
void BM_ReadTerminatorLikeReply(benchmark::State& state) { readReplyInChunks(state, 'E'); }
BENCHMARK(BM_ReadReplyInChunks)->Arg(1)->Arg(16)->Arg(128);
BENCHMARK(BM_ReadTerminatorLikeReply)->Arg(1)->Arg(16)->Arg(128);

}  // namespace

BENCHMARK_MAIN();
