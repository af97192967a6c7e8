// Named threads with a cooperative stop protocol, kept in one process-wide
// list, and a thin mutex wrapper.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

typedef void *(*SYS_Thread_proc)(void *);

struct SYS_Thread_t {
  pthread_t thread;
  std::atomic<int32_t> stop;    // 1: the owner asked the thread to stop
  std::atomic<int32_t> state;   // 0 new, 1 running, 2 finished, 3 stop requested
  SYS_Thread_proc function;
  void *argument;
  char *name;
};
typedef SYS_Thread_t *SYS_Thread_p;

struct SYS_Thread_Mutex_t {
  pthread_mutex_t mutex;
};
typedef SYS_Thread_Mutex_t *SYS_Thread_Mutex_p;

int SYS_ThreadInit();
void SYS_ThreadShutdown();
// After the memory shutdown has freed every entry: forgets them, so a
// later lookup finds an empty list instead of freed records.
void SYS_ThreadForget();
SYS_Thread_p SYS_ThreadCreate(SYS_Thread_proc function, void *argument, int32_t priority,
                              const char *name);
int SYS_ThreadKill(SYS_Thread_p entry);
int SYS_ThreadExit(SYS_Thread_p entry);
SYS_Thread_p SYS_ThreadSelf();
// The priority a code gives, from the creator's priority and the maximum.
int32_t SYS_ThreadPriority(int32_t code, int32_t creator, int32_t minimum, int32_t maximum,
                           int32_t fallback);

SYS_Thread_Mutex_p SYS_MutexCreate();
void SYS_MutexFree(SYS_Thread_Mutex_p mutex);
int SYS_MutexLock(SYS_Thread_Mutex_p mutex);
int SYS_MutexUnlock(SYS_Thread_Mutex_p mutex);
