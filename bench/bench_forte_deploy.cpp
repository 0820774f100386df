// Deploying 200 FBs and 200 connections to one IEC 61499 runtime over the
// management protocol, against a minimal lockstep client that sends the
// same frames over one connection and reads each answer before the next.
// Both talk to the same responder on 127.0.0.1, which answers every frame
// at once, so what differs is the client's own work.
//
// Run: build/<dir>/bench/bench_forte_deploy
//
// With TELVO_FORTE_PORT set, both talk to a real runtime listening on that
// port of 127.0.0.1 instead (4diac FORTE: start it, and the benchmark, in a
// network namespace with loopback alone, since it listens on every
// address); each run then makes a resource of its own, RES1, RES2, ...,
// and the runtime should be started afresh for each benchmark run.

#include "deploy/forte.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace telvo;

namespace {

constexpr int kFBs = 200;
constexpr int kConnections = 200;

bool readExact(int fd, char* to, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, to + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Answers every request frame with <Response ID="n"/>, one connection
// after the other.
class TResponder {
public:
    TResponder()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TResponder()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::string Port() const { return std::to_string(port_); }

private:
    void serve()
    {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int c = ::accept(fd_, nullptr, nullptr);
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string part;
            for (;;) {
                char head[3];
                std::string xml;
                bool ok = true;
                for (int i = 0; i < 2 && ok; ++i) {
                    ok = readExact(c, head, 3);
                    if (ok) {
                        part.resize(static_cast<unsigned char>(head[1]) * 256u + static_cast<unsigned char>(head[2]));
                        ok = readExact(c, part.data(), part.size());
                    }
                }
                if (!ok)
                    break;
                // The ID sits right after <Request ID=".
                const size_t from = part.find('"') + 1;
                const std::string answer = "<Response ID=\"" + part.substr(from, part.find('"', from) - from) + "\"/>";
                const std::string frame = std::string(1, '\x50') + static_cast<char>(answer.size() / 256) +
                                          static_cast<char>(answer.size() % 256) + answer;
                if (::write(c, frame.data(), frame.size()) < 0)
                    break;
            }
            ::close(c);
        }
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Where the runs go: a real runtime when TELVO_FORTE_PORT names its port,
// else a responder of our own.
class TDevice {
public:
    TDevice()
    {
        if (Real())
            port_ = std::getenv("TELVO_FORTE_PORT");
        else
            responder_ = std::make_unique<TResponder>();
    }
    static bool Real()
    {
        const char* real = std::getenv("TELVO_FORTE_PORT");
        return real && *real;
    }
    std::string Port() const { return responder_ ? responder_->Port() : port_; }
    // The resource of the next run. A real runtime keeps what each run
    // made: every run gets a resource of its own, so none has to be killed
    // and deleted between runs (FORTE's device manager was seen to stop
    // answering after some hundred such rounds in a row).
    std::string NextResource()
    {
        if (!Real())
            return "RES";
        // FORTE turns a connection away until it has seen the last one
        // close: a pause, untimed, keeps the runs from meeting that.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return "RES" + std::to_string(++runs_);
    }

private:
    std::unique_ptr<TResponder> responder_;
    std::string port_;
    static inline int runs_ = 0;
};

// One device: its resource, 200 FBs in a chain of 200 connections, START.
TForteDevicePlan plan(const std::string& port, const std::string& resource)
{
    TForteDevicePlan p;
    p.Device = "DEV";
    p.Address = "127.0.0.1";
    p.Port = port;
    p.Resource = resource;
    int id = 0;
    auto add = [&](const std::string& dest, const std::string& action, const std::string& body) {
        std::string xml = "<Request ID=\"" + std::to_string(++id) + "\" Action=\"" + action + "\"";
        xml += body.empty() ? "/>" : ">" + body + "</Request>";
        p.Requests.push_back({dest, xml, {}});
    };
    add("", "CREATE", "<FB Name=\"" + resource + "\" Type=\"EMB_RES\"/>");
    for (int i = 0; i < kFBs; ++i)
        add(resource, "CREATE", "<FB Name=\"fb" + std::to_string(i) + "\" Type=\"E_CTU\"/>");
    for (int i = 0; i < kConnections; ++i)
        add(resource, "CREATE",
            "<Connection Source=\"fb" + std::to_string(i) + ".CUO\" Destination=\"fb" +
                std::to_string((i + 1) % kFBs) + ".CU\"/>");
    add(resource, "START", "");
    return p;
}

void BM_ForteDeployment(benchmark::State& state)
{
    TDevice device;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<TForteDevicePlan> plans{plan(device.Port(), device.NextResource())};
        state.ResumeTiming();
        TForteDeployment run;
        std::string stopped = run.Run(plans);
        if (!stopped.empty()) {
            state.SkipWithError(stopped.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(2 + kFBs + kConnections));
}

// The baseline: the same frames, prepared beforehand, written and answered
// in lockstep over one plain blocking socket.
void BM_LockstepClient(benchmark::State& state)
{
    TDevice device;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(device.Port())));
    std::string answer(65536, '\0');
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> frames;
        for (const auto& r : plan(device.Port(), device.NextResource()).Requests)
            frames.push_back(ForteFrame(r.Destination, r.Xml));
        state.ResumeTiming();
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            state.SkipWithError("no connection");
            break;
        }
        bool answered = true;
        for (const auto& f : frames) {
            char head[3];
            if (::write(fd, f.data(), f.size()) < 0 || !readExact(fd, head, 3) ||
                !readExact(fd, answer.data(),
                           static_cast<unsigned char>(head[1]) * 256u + static_cast<unsigned char>(head[2]))) {
                answered = false;
                break;
            }
        }
        ::close(fd);
        if (!answered) {
            state.SkipWithError("the device dropped the connection");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(2 + kFBs + kConnections));
}

} // namespace

int main(int argc, char** argv)
{
    // A real runtime gets a fixed number of runs: each leaves a resource
    // of 200 FBs behind.
    for (auto [name, fn] : {std::pair{"BM_ForteDeployment", &BM_ForteDeployment},
                            std::pair{"BM_LockstepClient", &BM_LockstepClient}}) {
        auto* b = benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond);
        if (TDevice::Real())
            b->Iterations(20);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
