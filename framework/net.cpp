// Network start-up and shutdown, and the TCP client and server.
//
// BSD sockets need no process-wide preparation on Linux, so start-up and
// shutdown only clear the last-error code; they keep their place in the
// framework's start-up and shutdown order.
//
// Every descriptor a record holds is its own to close: a failed connect or
// listen closes what it created and leaves -1 behind, and a record handed
// out by SYS_SocketAccept carries its own host text, so closing it never
// frees the listener's. The network error number is the only shared state;
// it is atomic because client and server may run on different threads.
#include "framework/net.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <new>
#include <string>
#include <unordered_set>
#include <sys/socket.h>
#include <unistd.h>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

constexpr int kBacklog = 8;
constexpr size_t kMessageSize = 255;  // error messages keep at most 254 characters

std::atomic<int32_t> g_net_errno{0};

// The listeners open now. A client reaches its listener's watch set only
// while the listener is open: a listener closed (and its record perhaps
// released) before its clients is never touched by their close.
std::mutex g_listeners_mutex;
std::unordered_set<SYS_Socket_p> &Listeners() {
  static auto *open = new std::unordered_set<SYS_Socket_p>;  // never destroyed
  return *open;
}

bool Listening(SYS_Socket_p sock) {
  std::lock_guard<std::mutex> lock(g_listeners_mutex);
  return sock && Listeners().count(sock) != 0;
}

// Looks the host up for IPv4; the getaddrinfo code, 0 on success.
int Lookup(const char *host, in_addr *out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &found);
  if (rc != 0) return rc;
  if (!found) return EAI_NONAME;
  *out = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return 0;
}

std::string Dotted(in_addr address) {
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

bool Watchable(int fd) { return fd >= 0 && fd < FD_SETSIZE; }

// A stream socket for the record, or -1 with the failure reported.
int CreateDescriptor(SYS_Socket_p sock) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd >= 0) return fd;
  int err = errno;
  SYS_Log(1, "[netzwerk] !!! socket creation error ( %d -> %s ).\n", err, strerror(err));
  if (sock->on_error) {
    char message[kMessageSize];
    snprintf(message, sizeof message, "socket: %s", strerror(err));
    SYS_Log(1, "[netzwerk] %s\n", message);
    sock->on_error(sock, message);
  }
  return -1;
}

void CloseDescriptor(SYS_Socket_p sock) {
  if (sock->descriptor >= 0) close(sock->descriptor);
  sock->descriptor = -1;
}

// Fills the record's address, port and host from the peer of its descriptor.
bool TakePeer(SYS_Socket_p sock) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (getpeername(sock->descriptor, reinterpret_cast<sockaddr *>(&peer), &length) != 0) {
    peer = sockaddr_in{};
    peer.sin_family = AF_INET;
  }
  sock->address = peer;
  sock->address_length = sizeof peer;
  sock->port = ntohs(peer.sin_port);
  SYS_MEMFREE(sock->host);
  sock->host = STRDUP(Dotted(peer.sin_addr).c_str());
  return sock->host != nullptr;
}

const char *HostText(SYS_Socket_p sock) { return sock->host ? sock->host : ""; }

template <typename Proc>
int StoreCallback(SYS_Socket_p sock, Proc proc, Proc SYS_Socket_t::*field) {
  SYS_ErrorClear();
  if (!sock || !proc) {
    SYS_ErrorSet(10);
    return -1;
  }
  sock->*field = proc;
  return 0;
}

}  // namespace

int SYS_NetInit() {
  SYS_ErrorClear();
  return 0;
}

void SYS_NetShutdown() { SYS_ErrorClear(); }

char *SYS_SocketResolve(const char *host) {
  SYS_ErrorClear();
  if (!host) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  in_addr address{};
  if (Lookup(host, &address) != 0) {
    SYS_ErrorSet(2012);
    return nullptr;
  }
  std::string dotted = Dotted(address);
  SYS_Log(1, "[netzwerk] resolve '%s' to '%s'\n", host, dotted.c_str());
  char *copy = STRDUP(dotted.c_str());
  if (!copy) SYS_ErrorSet(5);
  return copy;
}

int SYS_SocketNew(SYS_Socket_p sock, const char *host, int32_t port) {
  SYS_ErrorClear();
  if (!sock || !host || port < 0 || port > 65535) {
    SYS_ErrorSet(10);
    return -1;
  }
  *sock = SYS_Socket_t{};
  sock->descriptor = -1;
  FD_ZERO(&sock->watch);
  FD_ZERO(&sock->ready);
  sock->host = STRDUP(host);
  if (!sock->host) {
    SYS_ErrorSet(5);
    return -1;
  }
  in_addr address{};
  int rc = Lookup(host, &address);
  if (rc != 0) {
    SYS_MEMFREE(sock->host);
    SYS_ErrorSet(rc == EAI_NONAME ? 2004 : 2003);
    return -1;
  }
  sock->port = port;
  sock->connected = 0;
  sock->address.sin_family = AF_INET;
  sock->address.sin_port = htons(static_cast<uint16_t>(port));
  sock->address.sin_addr = address;
  sock->address_length = sizeof sock->address;
  SYS_Log(1, "[netzwerk] new socket: %s:%d\n", host, port);
  return 0;
}

int SYS_SocketSetConnect(SYS_Socket_p sock, SYS_SocketConnect_t proc) {
  return StoreCallback(sock, proc, &SYS_Socket_t::on_connect);
}

int SYS_SocketSetConnecting(SYS_Socket_p sock, SYS_SocketConnecting_t proc) {
  return StoreCallback(sock, proc, &SYS_Socket_t::on_connecting);
}

int SYS_SocketSetDisconnect(SYS_Socket_p sock, SYS_SocketDisconnect_t proc) {
  return StoreCallback(sock, proc, &SYS_Socket_t::on_disconnect);
}

int SYS_SocketSetError(SYS_Socket_p sock, SYS_SocketError_t proc) {
  return StoreCallback(sock, proc, &SYS_Socket_t::on_error);
}

int SYS_SocketSetRead(SYS_Socket_p sock, SYS_SocketRead_t proc) {
  return StoreCallback(sock, proc, &SYS_Socket_t::on_read);
}

int32_t SYS_SocketGetErrno() {
  SYS_ErrorClear();
  return g_net_errno.load();
}

int SYS_SocketConnect(SYS_Socket_p sock) {
  SYS_ErrorClear();
  g_net_errno = 0;
  // A record that still holds a descriptor would lose it here.
  if (!sock || sock->descriptor >= 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_Log(1, "[netzwerk] connect: %s:%d\n", HostText(sock), sock->port);
  if (sock->on_connecting) sock->on_connecting(sock);

  int fd = CreateDescriptor(sock);
  if (fd < 0) {
    SYS_ErrorSet(2001);
    return -1;
  }
  sock->descriptor = fd;
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<const sockaddr *>(&sock->address), sizeof sock->address);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    sock->connected = 1;
    if (sock->on_connect) sock->on_connect(sock);
    return 0;
  }

  int err = errno;
  g_net_errno = err;
  CloseDescriptor(sock);
  char message[kMessageSize];
  snprintf(message, sizeof message, "connect error: %s", strerror(err));
  SYS_Log(1, "[netzwerk] %s (%d)\n", message, err);
  if (sock->on_error) sock->on_error(sock, message);
  SYS_ErrorSet(2002);
  return -1;
}

int SYS_SocketListen(SYS_Socket_p sock) {
  SYS_ErrorClear();
  if (!sock || sock->descriptor >= 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (sock->on_connecting) sock->on_connecting(sock);
  int fd = CreateDescriptor(sock);
  if (fd < 0) {
    SYS_ErrorSet(2001);
    return -1;
  }
  if (!Watchable(fd)) {
    SYS_Log(1, "[netzwerk] !!! socket creation error ( %d -> %s ).\n", fd, "descriptor beyond select's limit");
    close(fd);
    SYS_ErrorSet(2001);
    return -1;
  }
  sock->descriptor = fd;
  if (bind(fd, reinterpret_cast<const sockaddr *>(&sock->address), sizeof sock->address) != 0) {
    SYS_Log(1, "[netzwerk] unable to bind to socket (%s)...\n", strerror(errno));
    CloseDescriptor(sock);
    SYS_ErrorSet(2006);
    return -1;
  }
  if (listen(fd, kBacklog) != 0) {
    SYS_Log(1, "[netzwerk] unable listen (%s)...\n", strerror(errno));
    CloseDescriptor(sock);
    SYS_ErrorSet(2007);
    return -1;
  }
  FD_ZERO(&sock->watch);
  FD_SET(fd, &sock->watch);
  try {
    std::lock_guard<std::mutex> lock(g_listeners_mutex);
    Listeners().insert(sock);
  } catch (const std::bad_alloc &) {
    CloseDescriptor(sock);
    SYS_ErrorSet(5);
    return -1;
  }
  return 0;
}

int SYS_SocketAccept(SYS_Socket_p server, SYS_Socket_p *result) {
  SYS_ErrorClear();
  if (!server || !result || !Watchable(server->descriptor)) {
    SYS_ErrorSet(10);
    return -1;
  }
  auto *fresh = SYS_MEMGET(SYS_Socket_t, 1, " in: SYS_SocketAccept");
  *result = fresh;
  if (!fresh) {
    SYS_ErrorSet(5);
    return -1;
  }
  // A copy of the listener that owns nothing of the listener's: no host
  // text, no descriptor until one is assigned below.
  *fresh = *server;
  fresh->host = STRDUP(HostText(server));
  fresh->descriptor = -1;
  auto fail = [&](int32_t code) {
    SYS_MEMFREE(fresh->host);
    SYS_MEMFREE(*result);
    SYS_ErrorSet(code);
    return -1;
  };
  if (!fresh->host) return fail(5);

  int rc;
  do {
    server->ready = server->watch;
    rc = select(FD_SETSIZE, &server->ready, nullptr, nullptr, nullptr);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    SYS_Log(1, "[netzwerk] select() error: %s\n", strerror(errno));
    return fail(2008);
  }

  if (FD_ISSET(server->descriptor, &server->ready)) {
    int fd;
    do {
      fd = accept(server->descriptor, nullptr, nullptr);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      SYS_Log(1, "[netzwerk] unable to accept new connection (%s)...\n", strerror(errno));
      return fail(2008);
    }
    if (!Watchable(fd)) {
      // select could never report this client's data: refuse it.
      SYS_Log(1, "[netzwerk] unable to accept new connection (%s)...\n", "descriptor beyond select's limit");
      close(fd);
      return fail(2008);
    }
    fresh->descriptor = fd;
    if (!TakePeer(fresh)) {
      close(fd);
      return fail(5);
    }
    SYS_Log(1, "[netzwerk] incoming connection from %s:%d (%d)\n", fresh->host, fresh->port, fd);
    FD_SET(fd, &server->watch);
    FD_CLR(server->descriptor, &server->ready);
    fresh->incoming = 1;
    fresh->server = server;
    fresh->connected = 1;
    return 0;
  }

  for (int fd = 0; fd < FD_SETSIZE; ++fd) {
    if (!FD_ISSET(fd, &server->ready)) continue;
    fresh->descriptor = fd;
    if (!TakePeer(fresh)) return fail(5);
    fresh->server = server;
    fresh->connected = 1;
    return 0;
  }
  return 0;
}

int SYS_SocketUnwatch(SYS_Socket_p sock) {
  SYS_ErrorClear();
  if (!sock || !sock->connected) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (Listening(sock->server) && Watchable(sock->descriptor)) FD_CLR(sock->descriptor, &sock->server->watch);
  return 0;
}

int SYS_SocketClose(SYS_Socket_p sock) {
  SYS_ErrorClear();
  if (!sock) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (sock->on_disconnect) sock->on_disconnect(sock, 0);
  if (sock->connected) SYS_SocketUnwatch(sock);
  {
    std::lock_guard<std::mutex> lock(g_listeners_mutex);
    Listeners().erase(sock);
  }
  SYS_Log(1, "[netzwerk] close: %s:%d\n", HostText(sock), sock->port);
  CloseDescriptor(sock);
  SYS_MEMFREE(sock->host);
  sock->connected = 0;
  SYS_ErrorClear();
  return 0;
}

int SYS_SocketSend(SYS_Socket_p sock, const void *buffer, int32_t length) {
  SYS_ErrorClear();
  if (!sock || !buffer || length <= 0) {
    SYS_Log(1, "[netzwerk] %s : wrong parameter.\n", "SYS_SocketSend");
    SYS_ErrorSet(10);
    return -1;
  }
  if (!sock->connected) {
    SYS_ErrorSet(2000);
    return -1;
  }
  const auto *bytes = static_cast<const char *>(buffer);
  size_t left = static_cast<size_t>(length);
  while (left > 0) {
    // MSG_NOSIGNAL: a peer that has gone away is an error, not a signal.
    ssize_t sent = send(sock->descriptor, bytes, left, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) {
      SYS_Log(1, "[netzwerk] %s : sending error : %s\n", "SYS_SocketSend",
              sent < 0 ? strerror(errno) : "nothing sent");
      SYS_ErrorSet(2000);
      return -1;
    }
    bytes += sent;
    left -= static_cast<size_t>(sent);
  }
  return 0;
}

int32_t SYS_SocketRead(SYS_Socket_p sock, void *buffer, int32_t length) {
  SYS_ErrorClear();
  if (!sock || !buffer || length <= 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  ssize_t got;
  do {
    got = recv(sock->descriptor, buffer, static_cast<size_t>(length), 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    SYS_Log(1, "[netzwerk] %s : receive error : %s\n", "SYS_SocketRead", strerror(errno));
    SYS_ErrorSet(2009);
    return -1;
  }
  return static_cast<int32_t>(got);
}

int SYS_SocketFGets(SYS_Socket_p sock, char *buffer, int32_t size) {
  SYS_ErrorClear();
  // A line needs room for at least one character and its terminator.
  if (!sock || !buffer || size < 2) {
    if (buffer && size >= 1) buffer[0] = 0;
    SYS_ErrorSet(10);
    return -1;
  }
  int32_t stored = 0;
  int32_t code = 0;
  for (;;) {
    char c;
    ssize_t got = recv(sock->descriptor, &c, 1, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) {
      code = 2011;
      break;
    }
    if (got < 0) {
      SYS_Log(1, "[netzwerk] %s : error in receving : %s\n", "SYS_SocketFGets", strerror(errno));
      code = 2009;
      break;
    }
    buffer[stored++] = c;
    if (c == '\n') break;
    if (stored == size - 1) {
      code = 2010;
      break;
    }
  }
  buffer[stored] = 0;
  if (code) {
    SYS_ErrorSet(code);
    return -1;
  }
  return 0;
}
