// The framework's network service: its start-up and shutdown, run by the
// framework start-up and shutdown, and a small TCP interface over IPv4.
//
// The client side resolves a host, connects, sends, receives and reads
// lines. The server side listens and then waits with `select` for either a
// new connection or a connected client with data; a listening record keeps
// the descriptors it watches in its own sets. Records belong to the caller:
// SYS_SocketNew fills one the caller provides, SYS_SocketAccept hands out a
// tracked record (with its own host text) that the caller releases.
//
// A record that holds no descriptor has descriptor -1, so closing it closes
// nothing. Sends never raise SIGPIPE. Descriptors at or above FD_SETSIZE
// cannot be watched by `select` and are refused by the server side. Every
// call blocks the calling thread; nothing here takes a lock, so one record
// (and one server with its clients) is used by one thread at a time.
#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <sys/select.h>

int SYS_NetInit();
void SYS_NetShutdown();

struct SYS_Socket_t;
typedef SYS_Socket_t *SYS_Socket_p;

typedef int (*SYS_SocketConnect_t)(SYS_Socket_p socket);
typedef int (*SYS_SocketConnecting_t)(SYS_Socket_p socket);
typedef int (*SYS_SocketError_t)(SYS_Socket_p socket, const char *message);
typedef int (*SYS_SocketDisconnect_t)(SYS_Socket_p socket, int32_t reason);
typedef int (*SYS_SocketRead_t)(SYS_Socket_p socket, void *buffer, int32_t length);

struct SYS_Socket_t {
  int32_t descriptor;        // -1 while the record holds none
  char *host;                // own copy: the name given, or the peer's dotted address
  int32_t port;              // host order
  int32_t connected;         // 1 once connected or accepted, 0 after close
  int32_t incoming;          // 1 for a connection SYS_SocketAccept just accepted
  uint32_t address_length;   // 16 once filled
  sockaddr_in address;       // the peer (or, for a listener, the local) address
  fd_set watch;              // listener: its own and every accepted descriptor
  fd_set ready;              // listener: what the last select found readable
  SYS_SocketConnect_t on_connect;
  SYS_SocketConnecting_t on_connecting;
  SYS_SocketError_t on_error;
  SYS_SocketDisconnect_t on_disconnect;
  SYS_SocketRead_t on_read;  // stored for the caller; never called here
  SYS_Socket_p server;       // the listener that accepted or reported this record
};

char *SYS_SocketResolve(const char *host);
int SYS_SocketNew(SYS_Socket_p socket, const char *host, int32_t port);
int SYS_SocketSetConnect(SYS_Socket_p socket, SYS_SocketConnect_t proc);
int SYS_SocketSetConnecting(SYS_Socket_p socket, SYS_SocketConnecting_t proc);
int SYS_SocketSetDisconnect(SYS_Socket_p socket, SYS_SocketDisconnect_t proc);
int SYS_SocketSetError(SYS_Socket_p socket, SYS_SocketError_t proc);
int SYS_SocketSetRead(SYS_Socket_p socket, SYS_SocketRead_t proc);
int32_t SYS_SocketGetErrno();
int SYS_SocketConnect(SYS_Socket_p socket);
int SYS_SocketListen(SYS_Socket_p socket);
int SYS_SocketAccept(SYS_Socket_p server, SYS_Socket_p *result);
int SYS_SocketUnwatch(SYS_Socket_p socket);
int SYS_SocketClose(SYS_Socket_p socket);
int SYS_SocketSend(SYS_Socket_p socket, const void *buffer, int32_t length);
int32_t SYS_SocketRead(SYS_Socket_p socket, void *buffer, int32_t length);
int SYS_SocketFGets(SYS_Socket_p socket, char *buffer, int32_t size);
