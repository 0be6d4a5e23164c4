// The whois lookup: a 4 MiB answer from the server's close to the painted
// result box of the main window, and a whole norvik-cli whois process
// against a loopback server (spawn to exit).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BenchApp.h"
#include "platform/LinuxEchoService.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "platform/qt/QtTimer.h"
#include "shell/Form1.h"

extern char** environ;

namespace {

using norvik::platform::TcpClient;

// A connection whose answer the benchmark hands over: all of it arrives,
// then the peer closes when the benchmark says so.
class HeldConnection : public TcpClient {
  public:
    void Close() override {
        state_ = kClosed;
        pending_.clear();
    }
    void setLocalPort(std::uint16_t) override {}
    std::uint16_t LocalPort() const override { return 0; }
    void Connect(const std::string&, std::uint16_t) override { state_ = kResolvingHost; }
    int State() const override { return state_; }
    void SendData(const std::string&) override {}
    std::string GetData() override { return std::exchange(pending_, {}); }

    void arrive(const std::string& bytes, std::size_t piece) {
        state_ = kConnected;
        if (onConnect) onConnect();
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            pending_ = bytes.substr(at, piece);
            if (onDataArrival) onDataArrival(pending_.size());
        }
    }
    void peerClose() {
        state_ = kPeerClosed;
        if (onClose) onClose();
    }

  private:
    int state_ = kClosed;
    std::string pending_;
};

// About 4 MiB of whois-like lines, CR LF ended; with `utf8`, names with
// characters beyond ASCII.
std::string bigAnswer(bool utf8) {
    std::string out;
    const std::string name = utf8 ? "M\xC3\xBCller \xC3\x98stergaard" : "Mueller Oestergaard";
    for (int i = 0; out.size() < (std::size_t{4} << 20) - 200; ++i) {
        out += "Registrant Name:            " + name + " " + std::to_string(i) + "\r\n";
        out += "Name Server:                NS" + std::to_string(i % 7) + ".EXAMPLE.TEST\r\n";
    }
    return out;
}

void BM_AnswerCloseToPaintedBox(benchmark::State& state) {
    norvik::bench::app();
    QTemporaryDir dir;
    norvik::platform::SqliteKeyStore store(dir.path().toStdString() + "/norvik.sqlite3");
    norvik::platform::StderrMessageBox boxes(std::cerr);
    norvik::platform::SystemResolver resolver;
    norvik::platform::LinuxEchoService echo;
    HeldConnection* connection = nullptr;
    norvik::shell::Form1 form({store, boxes, resolver, echo, norvik::platform::pollWaiter, [] {},
                               [&] {
                                   auto c = std::make_unique<HeldConnection>();
                                   connection = c.get();
                                   return c;
                               },
                               [] { return std::make_unique<norvik::platform::QtTimer>(); }});
    form.show();
    form.showPage(norvik::shell::Form1::PageId::Whois);
    form.findChild<QComboBox*>("whoiscombo2")->setEditText("whois.example.test");
    form.findChild<QComboBox*>("whoisCombo1")->setEditText("example.test");
    auto* result = form.findChild<QPlainTextEdit*>("whoisresult");
    auto* lookup = form.findChild<QPushButton*>("lookupwhois");
    QCoreApplication::processEvents();
    const std::string answer = bigAnswer(state.range(0) != 0);

    for (auto _ : state) {
        state.PauseTiming();
        lookup->click();
        connection->arrive(answer, 64 * 1024);
        state.ResumeTiming();
        connection->peerClose();
        result->viewport()->repaint();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
    if (result->toPlainText().size() < 1000000) state.SkipWithError("the answer was not shown");
}
BENCHMARK(BM_AnswerCloseToPaintedBox)
    ->ArgName("utf8")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// A whois server on 127.0.0.1 that reads the query line and answers.
class TinyServer {
  public:
    explicit TinyServer(std::string answer) : answer_(std::move(answer)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0) continue;
                const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                char buf[512];
                std::string got;
                while (got.find("\r\n") == std::string::npos) {
                    pollfd q{c, POLLIN, 0};
                    if (::poll(&q, 1, 2000) <= 0) break;
                    const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                    if (n <= 0) break;
                    got.append(buf, static_cast<std::size_t>(n));
                }
                [[maybe_unused]] const auto n =
                    ::send(c, answer_.data(), answer_.size(), MSG_NOSIGNAL);
                ::close(c);
            }
        });
    }
    ~TinyServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

  private:
    std::string answer_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string cliPath() {
    if (const char* p = std::getenv("NORVIK_CLI")) return p;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../src/norvik-cli";
}

void BM_CliWhoisProcess(benchmark::State& state) {
    std::string answer;
    for (int i = 0; i < 40; ++i) answer += "Field " + std::to_string(i) + ":   some value\r\n";
    TinyServer server(answer);
    const std::string cli = cliPath();
    const std::string port = std::to_string(server.port());
    std::vector<char*> args = {const_cast<char*>("norvik-cli"),   const_cast<char*>("whois"),
                               const_cast<char*>("-h"),           const_cast<char*>("127.0.0.1"),
                               const_cast<char*>("-p"),           const_cast<char*>(port.c_str()),
                               const_cast<char*>("example.test"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, args.data(), environ) != 0) {
            state.SkipWithError(("cannot start " + cli).c_str());
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("norvik-cli whois failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_CliWhoisProcess)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
