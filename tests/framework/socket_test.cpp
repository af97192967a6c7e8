// The TCP client and server over loopback, both ends in this process.
//
// A connect completes through the listen backlog before the server accepts,
// and sent bytes wait in the kernel, so one thread can play both sides.
// Every test runs under an alarm: a blocking call that never returns kills
// the program instead of hanging the suite.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "framework/core_test_util.h"
#include "framework/net.h"
#include "framework/sys.h"

namespace {

constexpr unsigned kTimeLimitSeconds = 30;

class SocketTest : public ::testing::Test {
protected:
  void SetUp() override {
    ember_test::ResetLog();
    alarm(kTimeLimitSeconds);
    baseline_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    alarm(0);
    EXPECT_EQ(SYS_MemLiveCount(), baseline_);
  }

  // A listening record on 127.0.0.1 at a port the system picks; returns it.
  int StartServer(SYS_Socket_t &server) {
    EXPECT_EQ(SYS_SocketNew(&server, "127.0.0.1", 0), 0);
    EXPECT_EQ(SYS_SocketListen(&server), 0);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(server.descriptor, reinterpret_cast<sockaddr *>(&local), &length);
    return ntohs(local.sin_port);
  }

  void Connect(SYS_Socket_t &client, int port) {
    ASSERT_EQ(SYS_SocketNew(&client, "127.0.0.1", port), 0);
    ASSERT_EQ(SYS_SocketConnect(&client), 0);
  }

  void Send(SYS_Socket_t &s, const std::string &text) {
    ASSERT_EQ(SYS_SocketSend(&s, text.data(), static_cast<int32_t>(text.size())), 0);
  }

  size_t baseline_ = 0;
};

// A record SYS_SocketAccept handed out, released without closing its
// descriptor (another record of the same client still uses it).
void Forget(SYS_Socket_p &record) {
  if (!record) return;
  SYS_MEMFREE(record->host);
  SYS_MEMFREE(record);
}

// A record SYS_SocketAccept handed out, closed and released.
void CloseAndFree(SYS_Socket_p &record) {
  SYS_SocketClose(record);
  SYS_MEMFREE(record);
}

std::vector<std::string> g_events;
int OnConnecting(SYS_Socket_p) {
  g_events.push_back("connecting");
  return 0;
}
int OnConnect(SYS_Socket_p) {
  g_events.push_back("connect");
  return 0;
}
int OnError(SYS_Socket_p, const char *message) {
  g_events.push_back(std::string("error ") + message);
  return 0;
}
int OnDisconnect(SYS_Socket_p, int32_t reason) {
  g_events.push_back("disconnect " + std::to_string(reason));
  return 0;
}

TEST_F(SocketTest, ConnectExchangeLinesAndClose) {
  ember_test::LogCapture log;
  SYS_Socket_t server, client;
  int port = StartServer(server);
  const std::string at = "127.0.0.1:" + std::to_string(port);
  ASSERT_EQ(SYS_SocketNew(&client, "127.0.0.1", port), 0);
  EXPECT_EQ(client.descriptor, -1);
  EXPECT_EQ(client.port, port);
  EXPECT_STREQ(client.host, "127.0.0.1");
  g_events.clear();
  SYS_SocketSetConnecting(&client, OnConnecting);
  SYS_SocketSetConnect(&client, OnConnect);
  SYS_SocketSetDisconnect(&client, OnDisconnect);
  ASSERT_EQ(SYS_SocketConnect(&client), 0);
  EXPECT_EQ(client.connected, 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{"connecting", "connect"}));
  Send(client, "hello\nworld\n");

  // First the new connection...
  SYS_Socket_p incoming = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &incoming), 0);
  ASSERT_NE(incoming, nullptr);
  EXPECT_EQ(incoming->incoming, 1);
  EXPECT_EQ(incoming->connected, 1);
  EXPECT_EQ(incoming->server, &server);
  EXPECT_STREQ(incoming->host, "127.0.0.1");
  EXPECT_EQ(incoming->address_length, 16u);
  sockaddr_in client_local{};
  socklen_t length = sizeof client_local;
  getsockname(client.descriptor, reinterpret_cast<sockaddr *>(&client_local), &length);
  EXPECT_EQ(incoming->port, ntohs(client_local.sin_port));
  EXPECT_TRUE(FD_ISSET(incoming->descriptor, &server.watch));
  const std::string from = "127.0.0.1:" + std::to_string(incoming->port) + " (" +
                           std::to_string(incoming->descriptor) + ")";

  // ...then the same client, now with data.
  SYS_Socket_p data = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &data), 0);
  EXPECT_EQ(data->incoming, 0);
  EXPECT_EQ(data->descriptor, incoming->descriptor);
  EXPECT_EQ(data->server, &server);
  char line[64];
  ASSERT_EQ(SYS_SocketFGets(data, line, sizeof line), 0);
  EXPECT_STREQ(line, "hello\n");
  ASSERT_EQ(SYS_SocketFGets(data, line, sizeof line), 0);
  EXPECT_STREQ(line, "world\n");

  // The answer goes the other way.
  Send(*incoming, "ok\n");
  ASSERT_EQ(SYS_SocketFGets(&client, line, sizeof line), 0);
  EXPECT_STREQ(line, "ok\n");
  Send(*incoming, "raw");
  char raw[8] = {};
  EXPECT_EQ(SYS_SocketRead(&client, raw, sizeof raw), 3);
  EXPECT_STREQ(raw, "raw");

  // The client leaves: the server sees a readable end of stream.
  ASSERT_EQ(SYS_SocketClose(&client), 0);
  EXPECT_EQ(g_events.back(), "disconnect 0");
  EXPECT_EQ(client.connected, 0);
  EXPECT_EQ(client.descriptor, -1);
  EXPECT_EQ(client.host, nullptr);
  Forget(data);
  ASSERT_EQ(SYS_SocketAccept(&server, &data), 0);
  EXPECT_EQ(SYS_SocketRead(data, raw, sizeof raw), 0);
  int fd = data->descriptor;
  CloseAndFree(data);
  EXPECT_FALSE(FD_ISSET(fd, &server.watch));

  // The accepted record had its own host text: the server's is still whole.
  Forget(incoming);
  EXPECT_STREQ(server.host, "127.0.0.1");
  EXPECT_EQ(SYS_SocketClose(&server), 0);

  std::string text = log.text();
  size_t next = 0;
  for (const std::string &line : std::vector<std::string>{"[netzwerk] new socket: 127.0.0.1:0\n", "[netzwerk] new socket: " + at + "\n",
                                   "[netzwerk] connect: " + at + "\n",
                                   "[netzwerk] incoming connection from " + from + "\n",
                                   "[netzwerk] close: " + at + "\n", "[netzwerk] close: 127.0.0.1:0\n"}) {
    next = text.find(line, next);
    ASSERT_NE(next, std::string::npos) << line << text;
  }
}

TEST_F(SocketTest, ManyClientsThroughSelect) {
  constexpr int kClients = 24;
  SYS_Socket_t server;
  int port = StartServer(server);
  std::vector<SYS_Socket_t> clients(kClients);
  std::set<std::string> expected, received;
  std::vector<SYS_Socket_p> incoming;
  // More clients than the listen backlog holds: connect in waves and let
  // the server take each wave in (the listener is served before clients)
  // before the next one knocks.
  constexpr int kWave = 6;
  int accepted = 0;
  for (int i = 0; i < kClients; ++i) {
    Connect(clients[i], port);
    std::string text = "client " + std::to_string(i) + "\n";
    expected.insert(text);
    Send(clients[i], text);
    if ((i + 1) % kWave) continue;
    for (int k = 0; k < kWave; ++k) {
      SYS_Socket_p record = nullptr;
      ASSERT_EQ(SYS_SocketAccept(&server, &record), 0);
      ASSERT_EQ(record->incoming, 1);
      ++accepted;
      incoming.push_back(record);
    }
  }

  while (received.size() < expected.size()) {
    SYS_Socket_p record = nullptr;
    ASSERT_EQ(SYS_SocketAccept(&server, &record), 0);
    ASSERT_EQ(record->incoming, 0);
    char line[64];
    ASSERT_EQ(SYS_SocketFGets(record, line, sizeof line), 0);
    received.insert(line);
    CloseAndFree(record);
  }
  EXPECT_EQ(accepted, kClients);
  EXPECT_EQ(received, expected);
  // Only the listener is still watched.
  int watched = 0;
  for (int fd = 0; fd < FD_SETSIZE; ++fd) watched += FD_ISSET(fd, &server.watch) ? 1 : 0;
  EXPECT_EQ(watched, 1);
  for (SYS_Socket_p &r : incoming) Forget(r);
  for (SYS_Socket_t &c : clients) SYS_SocketClose(&c);
  SYS_SocketClose(&server);
}

TEST_F(SocketTest, LowerDescriptorIsReportedFirst) {
  SYS_Socket_t server, a, b;
  int port = StartServer(server);
  Connect(a, port);
  Connect(b, port);
  SYS_Socket_p in_a = nullptr, in_b = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &in_a), 0);
  ASSERT_EQ(SYS_SocketAccept(&server, &in_b), 0);
  ASSERT_TRUE(in_a->incoming && in_b->incoming);
  // Data from the later connection first, so order of arrival cannot explain
  // the result.
  int high = std::max(in_a->descriptor, in_b->descriptor);
  int low = std::min(in_a->descriptor, in_b->descriptor);
  Send(b, "b\n");
  Send(a, "a\n");
  usleep(20000);
  SYS_Socket_p first = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &first), 0);
  EXPECT_EQ(first->descriptor, low);
  EXPECT_NE(first->descriptor, high);
  Forget(first);
  Forget(in_a);
  Forget(in_b);
  SYS_SocketClose(&a);
  SYS_SocketClose(&b);
  SYS_SocketClose(&server);
}

TEST_F(SocketTest, LineReadingLimits) {
  SYS_Socket_t server, client;
  int port = StartServer(server);
  Connect(client, port);
  SYS_Socket_p in = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &in), 0);

  // Longer than the buffer: size - 1 characters and the terminator.
  Send(client, "abcdefghijklmnopqrst");
  char line[8];
  EXPECT_EQ(SYS_SocketFGets(in, line, sizeof line), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2010);
  EXPECT_STREQ(line, "abcdefg");

  // Too small to hold any line at all.
  char tiny[2] = {'x', 'x'};
  EXPECT_EQ(SYS_SocketFGets(in, tiny, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(tiny[0], 0);
  EXPECT_EQ(SYS_SocketFGets(in, tiny, 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_SocketFGets(in, nullptr, 8), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  // Size 2 holds one character: a line feed alone is a complete line.
  Send(client, "\n");
  char two[2];
  // "hijklmnopqrst" is still waiting; drain it first.
  char rest[32];
  EXPECT_EQ(SYS_SocketRead(in, rest, 13), 13);
  EXPECT_EQ(SYS_SocketFGets(in, two, 2), 0);
  EXPECT_STREQ(two, "\n");

  // The peer leaves in the middle of a line.
  Send(client, "partial");
  SYS_SocketClose(&client);
  char buf[64];
  EXPECT_EQ(SYS_SocketFGets(in, buf, sizeof buf), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2011);
  EXPECT_STREQ(buf, "partial");
  CloseAndFree(in);
  SYS_SocketClose(&server);
}

TEST_F(SocketTest, RefusedConnection) {
  // A bound port nobody listens on refuses connections.
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(holder, reinterpret_cast<sockaddr *>(&address), &length);

  SYS_Socket_t client;
  ASSERT_EQ(SYS_SocketNew(&client, "127.0.0.1", ntohs(address.sin_port)), 0);
  g_events.clear();
  ember_test::LogCapture log;
  SYS_SocketSetError(&client, OnError);
  EXPECT_EQ(SYS_SocketConnect(&client), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2002);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_THAT(g_events[0], ::testing::StartsWith("error connect error: "));
  EXPECT_EQ(SYS_SocketGetErrno(), ECONNREFUSED);
  EXPECT_THAT(log.text(), ::testing::HasSubstr(std::string("[netzwerk] connect error: ") + strerror(ECONNREFUSED) +
                                               " (" + std::to_string(ECONNREFUSED) + ")\n"));
  // The failed attempt's descriptor is closed, not left in the record.
  EXPECT_EQ(client.descriptor, -1);
  EXPECT_EQ(client.connected, 0);

  // A second attempt starts from a clean network error number.
  SYS_Socket_t server;
  int port = StartServer(server);
  client.address.sin_port = htons(static_cast<uint16_t>(port));
  EXPECT_EQ(SYS_SocketConnect(&client), 0);
  EXPECT_EQ(SYS_SocketGetErrno(), 0);
  SYS_SocketClose(&client);
  SYS_SocketClose(&server);
  close(holder);
}

TEST_F(SocketTest, UnknownHost) {
  SYS_Socket_t s;
  EXPECT_EQ(SYS_SocketNew(&s, "no-such-host.invalid", 80), -1);
  // ".invalid" never resolves; a machine with no resolver at all answers
  // "try again", which is the other resolver failure.
  EXPECT_THAT(SYS_ErrorGet(), ::testing::AnyOf(2004, 2003));
  EXPECT_EQ(s.descriptor, -1);
  EXPECT_EQ(s.host, nullptr);
  EXPECT_EQ(SYS_SocketClose(&s), 0);

  EXPECT_EQ(SYS_SocketResolve("no-such-host.invalid"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 2012);
  ember_test::LogCapture log;
  char *dotted = SYS_SocketResolve("127.0.0.1");
  ASSERT_NE(dotted, nullptr);
  EXPECT_STREQ(dotted, "127.0.0.1");
  EXPECT_THAT(log.text(), ::testing::HasSubstr("[netzwerk] resolve '127.0.0.1' to '127.0.0.1'\n"));
  SYS_MEMFREE(dotted);
}

TEST_F(SocketTest, RecordsWithoutADescriptorCloseNothing) {
  // A zeroed record would name descriptor 0; put a file there to see
  // whether a close of a never-connected record takes it.
  int saved = dup(0);
  int probe = open("/dev/null", O_RDONLY);
  ASSERT_GE(probe, 0);
  ASSERT_EQ(dup2(probe, 0), 0);
  SYS_Socket_t s;
  ASSERT_EQ(SYS_SocketNew(&s, "127.0.0.1", 9), 0);
  EXPECT_EQ(s.descriptor, -1);
  EXPECT_EQ(SYS_SocketClose(&s), 0);
  EXPECT_EQ(SYS_SocketClose(&s), 0);  // twice is harmless
  EXPECT_NE(fcntl(0, F_GETFD), -1);
  if (saved >= 0) {
    dup2(saved, 0);
    close(saved);
  } else {
    close(0);
  }
  close(probe);
}

TEST_F(SocketTest, SendAndReadWithoutAConnection) {
  ember_test::LogCapture log;
  SYS_Socket_t s;
  ASSERT_EQ(SYS_SocketNew(&s, "127.0.0.1", 9), 0);
  EXPECT_EQ(SYS_SocketSend(&s, "x", 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2000);
  EXPECT_EQ(SYS_SocketSend(&s, "x", 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  char buf[4];
  EXPECT_EQ(SYS_SocketRead(&s, buf, sizeof buf), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2009);
  EXPECT_THAT(log.text(), ::testing::HasSubstr("[netzwerk] SYS_SocketSend : wrong parameter.\n"));
  EXPECT_THAT(log.text(), ::testing::HasSubstr(std::string("[netzwerk] SYS_SocketRead : receive error : ") +
                                               strerror(EBADF) + "\n"));
  EXPECT_EQ(SYS_SocketUnwatch(&s), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_SocketNew(&s, "127.0.0.1", 70000), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_SocketClose(&s);
}

TEST_F(SocketTest, SendingToAVanishedPeerIsAnErrorNotASignal) {
  SYS_Socket_t server, client;
  int port = StartServer(server);
  Connect(client, port);
  SYS_Socket_p in = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &in), 0);
  CloseAndFree(in);
  ember_test::LogCapture log;
  // The first sends may still be accepted by the kernel; once the reset has
  // come back, a send fails (the process would die here of SIGPIPE).
  std::string block(4096, 'x');
  int result = 0;
  for (int i = 0; i < 1000 && result == 0; ++i) {
    result = SYS_SocketSend(&client, block.data(), static_cast<int32_t>(block.size()));
    if (result == 0) usleep(1000);
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(SYS_ErrorGet(), 2000);
  EXPECT_THAT(log.text(), ::testing::HasSubstr("[netzwerk] SYS_SocketSend : sending error : "));
  SYS_SocketClose(&client);
  SYS_SocketClose(&server);
}

// Fills every free descriptor below select's limit for its lifetime.
struct LowDescriptorsTaken {
  std::vector<int> fds;
  LowDescriptorsTaken() {
    int base = open("/dev/null", O_RDONLY);
    if (base < 0) return;
    fds.push_back(base);
    for (;;) {
      int fd = dup(base);
      if (fd < 0) break;
      fds.push_back(fd);
      if (fd >= FD_SETSIZE - 1) break;
    }
  }
  ~LowDescriptorsTaken() {
    for (int fd : fds) close(fd);
  }
};

TEST_F(SocketTest, DescriptorsBeyondSelectsLimitAreRefused) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  ASSERT_GE(limit.rlim_max, rlim_t(FD_SETSIZE + 16)) << "the descriptor limit cannot reach past select's";
  rlimit raised = limit;
  raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, FD_SETSIZE + 64);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);

  SYS_Socket_t server, client;
  int port = StartServer(server);
  Connect(client, port);
  {
    LowDescriptorsTaken taken;
    ASSERT_FALSE(taken.fds.empty());

    // The connection would get a descriptor select cannot watch.
    SYS_Socket_p in = reinterpret_cast<SYS_Socket_p>(1);
    EXPECT_EQ(SYS_SocketAccept(&server, &in), -1);
    EXPECT_EQ(SYS_ErrorGet(), 2008);
    EXPECT_EQ(in, nullptr);

    // So would a second listener.
    SYS_Socket_t other;
    ASSERT_EQ(SYS_SocketNew(&other, "127.0.0.1", 0), 0);
    EXPECT_EQ(SYS_SocketListen(&other), -1);
    EXPECT_EQ(SYS_ErrorGet(), 2001);
    EXPECT_EQ(other.descriptor, -1);
    SYS_SocketClose(&other);
  }
  // The refused client was hung up on.
  char c;
  EXPECT_EQ(SYS_SocketRead(&client, &c, 1), 0);
  SYS_SocketClose(&client);
  SYS_SocketClose(&server);
  setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(SocketTest, ListenFailuresLeaveNoDescriptor) {
  SYS_Socket_t first, second;
  int port = StartServer(first);
  ASSERT_EQ(SYS_SocketNew(&second, "127.0.0.1", port), 0);
  ember_test::LogCapture log;
  EXPECT_EQ(SYS_SocketListen(&second), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2006);
  EXPECT_THAT(log.text(), ::testing::HasSubstr(std::string("[netzwerk] unable to bind to socket (") +
                                               strerror(EADDRINUSE) + ")...\n"));
  EXPECT_EQ(second.descriptor, -1);
  // A record that already holds a descriptor is not given a second one.
  EXPECT_EQ(SYS_SocketListen(&first), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_SocketConnect(&first), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_SocketClose(&second);
  SYS_SocketClose(&first);
}

}  // namespace

// A listener closed and released before its clients: closing a client
// afterwards never reaches the listener's record.
TEST_F(SocketTest, AClientClosedAfterItsListenerIsGoneNeverReachesIt) {
  auto *server = new SYS_Socket_t;
  SYS_Socket_t client;
  const int port = StartServer(*server);
  Connect(client, port);
  SYS_Socket_p incoming = nullptr;
  ASSERT_EQ(SYS_SocketAccept(server, &incoming), 0);
  ASSERT_NE(incoming, nullptr);
  EXPECT_EQ(incoming->server, server);
  EXPECT_EQ(SYS_SocketClose(server), 0);
  delete server;
  EXPECT_EQ(SYS_SocketClose(incoming), 0);
  SYS_MEMFREE(incoming);
  EXPECT_EQ(SYS_SocketClose(&client), 0);
}
