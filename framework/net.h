// The framework's network service: its start-up and shutdown, run by the
// framework start-up and shutdown. The TCP client and server operations
// join this unit; nothing in the program opens a socket.
#pragma once

int SYS_NetInit();
void SYS_NetShutdown();
