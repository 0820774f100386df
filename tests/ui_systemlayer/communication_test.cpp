// "Test Communication" of the IEC device dialog against real sockets on
// 127.0.0.1: it never blocks the dialog and gives up on its own.

#include "sl_fixture.h"

#include "ui/systemlayer/sl_dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace telvo::test {
namespace {

// A listening socket on 127.0.0.1 with a port of the system's choosing.
class TListener {
public:
    explicit TListener(int backlog)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, backlog);
    }
    ~TListener()
    {
        stop_ = true;
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
        if (acceptor_.joinable())
            acceptor_.join();
        for (int c : accepted_)
            ::close(c);
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Accepts every connection and keeps it open without a word.
    void AcceptSilently()
    {
        acceptor_ = std::thread([this] {
            while (!stop_) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0)
                    return;
                accepted_.push_back(c);
            }
        });
    }
    int Port() const { return port_; }
    void CloseNow()
    {
        ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<int> accepted_;
};

// A connection attempt from our side that the listener's full queue leaves
// hanging.
int connectNonBlocking(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

class CommunicationTest : public SlFixture {
protected:
    void SetUp() override
    {
        SlFixture::SetUp();
        NewProject();
        Device = Window->AddFromPalette(slIECDevice);
        Dialog = static_cast<TfrmIECDeviceProperties*>(ShowObjectProperties(*Window, *Device));
        ASSERT_NE(Dialog, nullptr);
    }
    // Starts a test and runs the event loop until it ends; the click itself
    // must return at once.
    void Test(const std::string& address, int port)
    {
        Dialog->AddressEdit()->setText(QString::fromStdString(address));
        Dialog->PortEdit()->setText(QString::number(port));
        QElapsedTimer click;
        click.start();
        Dialog->TestCommunicationClick();
        ClickMs = click.elapsed();
        QElapsedTimer wait;
        wait.start();
        int spins = 0;
        while (Dialog->Testing() && wait.elapsed() < 20000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            ++spins;
        }
        Spins = spins;
        ASSERT_FALSE(Dialog->Testing());
    }
    TslObject* Device = nullptr;
    TfrmIECDeviceProperties* Dialog = nullptr;
    qint64 ClickMs = 0;
    int Spins = 0;
};

TEST_F(CommunicationTest, ListenerThatAcceptsAndNeverAnswersIsReached)
{
    TListener listener(8);
    listener.AcceptSilently();
    Test("127.0.0.1", listener.Port());
    EXPECT_EQ(UI.Messages().back(), "Communication in specified address and port was succesful!");
    EXPECT_EQ(Dialog->TestResult()->text(), QStringLiteral("Communication in specified address and port was succesful!"));
    EXPECT_TRUE(Dialog->TestButton()->isEnabled());
    // Nothing is written into the device's fields by a test.
    EXPECT_EQ(static_cast<TslIECDevice*>(Device)->DeviceIPAddress, "");
}

TEST_F(CommunicationTest, ClosedPortFailsAndTheDialogCanTestAgain)
{
    int port = 0;
    {
        TListener gone(1);
        port = gone.Port();
        gone.CloseNow();
    }
    Test("127.0.0.1", port);
    EXPECT_EQ(UI.Messages().back(), "Device not found in specified address and port.");
    TListener listener(8);
    Test("localhost", listener.Port());
    EXPECT_EQ(UI.Messages().back(), "Communication in specified address and port was succesful!");
}

TEST_F(CommunicationTest, AttemptThatHangsGivesUpAfterTheTimeOut)
{
    // A listener that takes nothing from its queue: once the queue is full
    // the system drops further attempts, which then hang.
    TListener full(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i)
        fillers.push_back(connectNonBlocking(full.Port()));
    Dialog->TestTimeoutMs = 400;
    Test("127.0.0.1", full.Port());
    for (int fd : fillers)
        ::close(fd);
    if (UI.Messages().back() != "Device not found in specified address and port.")
        GTEST_SKIP() << "this system completed the attempt despite the full queue; the time-out was not reached";
    EXPECT_LT(ClickMs, 200) << "the click must not wait for the device";
    EXPECT_GT(Spins, 5) << "the event loop must keep running while the attempt hangs";
    EXPECT_NE(UI.LogLines().back().find("no answer from 127.0.0.1:"), std::string::npos);
    EXPECT_EQ(Dialog->TestResult()->text(), QStringLiteral("No answer within 0.4 s."));
}

TEST_F(CommunicationTest, BadAddressOrPortIsRefusedBeforeConnecting)
{
    struct TCase {
        const char* Address;
        const char* Port;
        const char* Message;
    };
    const TCase cases[] = {
        {"127.0.0.1", "0", "The port 0 is not a number from 1 to 65535."},
        {"127.0.0.1", "65536", "The port 65536 is not a number from 1 to 65535."},
        {"127.0.0.1", "12a", "The port 12a is not a number from 1 to 65535."},
        {"", "61499", "The IP address  is neither an IPv4 or IPv6 address nor a host name."},
        {"256.1.1.1", "61499", "The IP address 256.1.1.1 is neither an IPv4 or IPv6 address nor a host name."},
        {"-host", "61499", "The IP address -host is neither an IPv4 or IPv6 address nor a host name."},
    };
    for (const TCase& c : cases) {
        Dialog->AddressEdit()->setText(QString::fromLatin1(c.Address));
        Dialog->PortEdit()->setText(QString::fromLatin1(c.Port));
        Dialog->TestCommunicationClick();
        EXPECT_FALSE(Dialog->Testing()) << c.Address << ":" << c.Port;
        EXPECT_EQ(UI.Messages().back(), c.Message);
    }
}

TEST(DeviceAddressTest, LiteralsAndHostNames)
{
    for (const char* good : {"127.0.0.1", "::1", "fe80::1", "localhost", "plc-3.plant.example", "device7", "a.b."})
        EXPECT_TRUE(ValidDeviceAddress(good)) << good;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "300.1.1.1", "host name", "a..b", "-a", "a-", "h_st", ".",
                            "999"})
        EXPECT_FALSE(ValidDeviceAddress(bad)) << bad;
    for (const char* good : {"1", "61499", "65535"})
        EXPECT_TRUE(ValidDevicePort(good)) << good;
    for (const char* bad : {"", "0", "65536", "-1", "+1", " 1", "1 ", "0x10"})
        EXPECT_FALSE(ValidDevicePort(bad)) << bad;
}

} // namespace
} // namespace telvo::test
