// The event loop keeps serving while the echoes of a run wait.

#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "ShellFixture.h"
#include "platform/qt/EventLoopWaiter.h"

namespace norvik::test {
namespace {

using EventLoop = ShellTest;

TEST_F(EventLoop, TimersKeepTickingWhileSilentEchoesWait) {
    constexpr int kPings = 4;
    constexpr int kTickMs = 10;
    waiter = platform::eventLoopWaiter;
    start();
    w<QComboBox>("Combo1")->setEditText("127.0.0.1");
    w<QComboBox>("Combo2")->setEditText(QString::number(kPings));

    // An echo that is never answered: it waits on a socket nobody writes to
    // for its whole time-out.
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    int waited = 0;
    echo.during = [&](const platform::EchoRequest& r, const platform::Waiter& wait) {
        EXPECT_FALSE(wait(sockets[0], r.timeoutMs));
        waited += r.timeoutMs;
    };

    int ticks = 0;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ticks > 0) longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
        ++ticks;
    });
    timer.start(kTickMs);
    click(w("carryoutping"));
    timer.stop();
    ::close(sockets[0]);
    ::close(sockets[1]);

    ASSERT_EQ(echo.requests.size(), std::size_t(kPings));
    EXPECT_EQ(waited, kPings * 500);
    EXPECT_EQ(form->form2().timeoutsText(), " 4");
    // Ticks came all through the waits: at least half of what the waiting
    // time holds.
    EXPECT_GE(ticks, waited / kTickMs / 2) << "ticks " << ticks;
    std::printf("[ stall ] %d ticks of %d ms during %d ms of echo waits; longest gap %lld ms\n",
                ticks, kTickMs, waited, static_cast<long long>(longestGap));
    RecordProperty("longest_gap_ms", static_cast<int>(longestGap));
}

}  // namespace
}  // namespace norvik::test
