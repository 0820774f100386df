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
// address). The resource is killed and deleted after each run, outside the
// time measured.

#include "deploy/forte.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
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
        const char* real = std::getenv("TELVO_FORTE_PORT");
        if (real && *real)
            port_ = real;
        else
            responder_ = std::make_unique<TResponder>();
    }
    std::string Port() const { return responder_ ? responder_->Port() : port_; }
    // What one run left: the resource goes, untimed.
    void Clear(benchmark::State& state)
    {
        state.PauseTiming();
        TForteClient client;
        if (client.Connect("127.0.0.1", Port()).empty()) {
            TForteResponse answer;
            std::string error;
            for (const char* action : {"KILL", "DELETE"})
                client.Request("", std::string("<Request ID=\"0\" Action=\"") + action +
                                       "\"><FB Name=\"RES\" Type=\"EMB_RES\"/></Request>",
                               answer, error);
        }
        state.ResumeTiming();
    }

private:
    std::unique_ptr<TResponder> responder_;
    std::string port_;
};

// One device: its resource, 200 FBs in a chain of 200 connections, START.
TForteDevicePlan plan(const std::string& port)
{
    TForteDevicePlan p;
    p.Device = "DEV";
    p.Address = "127.0.0.1";
    p.Port = port;
    p.Resource = "RES";
    int id = 0;
    auto add = [&](const std::string& dest, const std::string& action, const std::string& body) {
        std::string xml = "<Request ID=\"" + std::to_string(++id) + "\" Action=\"" + action + "\"";
        xml += body.empty() ? "/>" : ">" + body + "</Request>";
        p.Requests.push_back({dest, xml, {}});
    };
    add("", "CREATE", "<FB Name=\"RES\" Type=\"EMB_RES\"/>");
    for (int i = 0; i < kFBs; ++i)
        add("RES", "CREATE", "<FB Name=\"fb" + std::to_string(i) + "\" Type=\"E_CTU\"/>");
    for (int i = 0; i < kConnections; ++i)
        add("RES", "CREATE",
            "<Connection Source=\"fb" + std::to_string(i) + ".CUO\" Destination=\"fb" +
                std::to_string((i + 1) % kFBs) + ".CU\"/>");
    add("RES", "START", "");
    return p;
}

void BM_ForteDeployment(benchmark::State& state)
{
    TDevice device;
    const std::vector<TForteDevicePlan> plans{plan(device.Port())};
    for (auto _ : state) {
        TForteDeployment run;
        std::string stopped = run.Run(plans);
        if (!stopped.empty()) {
            state.SkipWithError(stopped.c_str());
            break;
        }
        device.Clear(state);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(plans[0].Requests.size()));
}
BENCHMARK(BM_ForteDeployment)->Unit(benchmark::kMillisecond);

// The baseline: the same frames, prepared beforehand, written and answered
// in lockstep over one plain blocking socket.
void BM_LockstepClient(benchmark::State& state)
{
    TDevice device;
    const TForteDevicePlan p = plan(device.Port());
    std::vector<std::string> frames;
    for (const auto& r : p.Requests)
        frames.push_back(ForteFrame(r.Destination, r.Xml));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(device.Port())));
    std::string answer(65536, '\0');
    for (auto _ : state) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        for (const auto& f : frames) {
            if (::write(fd, f.data(), f.size()) < 0)
                break;
            char head[3];
            readExact(fd, head, 3);
            readExact(fd, answer.data(), static_cast<unsigned char>(head[1]) * 256u + static_cast<unsigned char>(head[2]));
        }
        ::close(fd);
        device.Clear(state);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frames.size()));
}
BENCHMARK(BM_LockstepClient)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
