// Named threads with a cooperative stop protocol, and the mutex wrapper.
//
// Every thread the framework starts has an entry in one process-wide list,
// newest first. The owner asks a thread to stop with SYS_ThreadKill; the
// body notices the request at its next test and ends with
// SYS_ThreadExit(NULL). The list mutex guards the list: it is held across
// creation (so an entry is never seen half-made, and a failed start leaves
// no entry), removal and lookup. Stop request and state are atomic words,
// each written by one side and read by the other.
//
// The list mutex is a static object, so a shutdown that releases it can
// never leave a thread locking freed memory.
#include "framework/thread.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sched.h>

#include "framework/clock.h"
#include "framework/list.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

std::mutex g_list_mutex;
SYS_List_p g_threads = nullptr;

// The entry is passed to the start routine so a body that returns without
// SYS_ThreadExit still leaves its entry marked finished.
void *Trampoline(void *arg) {
  SYS_Thread_p entry = static_cast<SYS_Thread_p>(arg);
  void *result = entry->function(entry->argument);
  entry->stop = 0;
  entry->state = 2;
  return result;
}

void ReleaseEntry(SYS_Thread_p entry) {
  SYS_MEMFREE(entry->name);
  entry->~SYS_Thread_t();
  SYS_MEMFREE(entry);
}

}  // namespace

int SYS_ThreadInit() { return 0; }

void SYS_ThreadForget() {
  std::lock_guard<std::mutex> lock(g_list_mutex);
  g_threads = nullptr;
}

void SYS_ThreadShutdown() {
  std::lock_guard<std::mutex> lock(g_list_mutex);
  for (SYS_List_p n = g_threads; n; n = n->next) {
    auto *entry = static_cast<SYS_Thread_p>(n->data);
    SYS_Log(1, "[thread] !!! Unterminated thread: \"%s\"\n", entry->name);
  }
}

int32_t SYS_ThreadPriority(int32_t code, int32_t creator, int32_t minimum, int32_t maximum,
                           int32_t fallback) {
  switch (code) {
    case 0:
      return creator;
    case -1:
      return minimum;
    case 1:
      return (2 * maximum + creator) / 3;
    case 2:
      return maximum;
    default:
      return fallback;
  }
}

SYS_Thread_p SYS_ThreadCreate(SYS_Thread_proc function, void *argument, int32_t priority,
                              const char *name) {
  SYS_ErrorClear();
  if (!function) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  void *block = SYS_MemGet(sizeof(SYS_Thread_t), __FILE__, __LINE__, "SYS_ThreadCreate: new entry");
  if (!block) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  auto *entry = new (block) SYS_Thread_t{};
  entry->name = STRDUP(name ? name : "");
  if (!entry->name) {
    ReleaseEntry(entry);
    SYS_ErrorSet(5);
    return nullptr;
  }
  entry->state = 0;
  entry->function = function;
  entry->argument = argument;

  std::lock_guard<std::mutex> lock(g_list_mutex);
  SYS_List_p head = SYS_ListAddFirst(g_threads, entry);
  if (!head) {
    ReleaseEntry(entry);
    SYS_ErrorSet(5);
    return nullptr;
  }
  g_threads = head;
  SYS_Log(1, "[thread] create thread: \"%s\"\n", entry->name);

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setscope(&attr, PTHREAD_SCOPE_SYSTEM);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
  int policy = SCHED_OTHER;
  struct sched_param own = {}, defaults = {};
  pthread_getschedparam(pthread_self(), &policy, &own);
  pthread_attr_getschedparam(&attr, &defaults);
  struct sched_param param = {};
  param.sched_priority =
      SYS_ThreadPriority(priority, own.sched_priority, sched_get_priority_min(SCHED_OTHER),
                         sched_get_priority_max(SCHED_OTHER), defaults.sched_priority);
  pthread_attr_setschedparam(&attr, &param);

  entry->state = 1;
  int rc = pthread_create(&entry->thread, &attr, Trampoline, entry);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    // A thread that never started must not stay listed as running.
    g_threads = SYS_ListRemove(g_threads, entry);
    ReleaseEntry(entry);
    SYS_ErrorSet(5);
    return nullptr;
  }
  SYS_Log(1, "[thread] thread created: \"%s\" (priority: %d)\n", entry->name, priority);
  return entry;
}

int SYS_ThreadKill(SYS_Thread_p entry) {
  SYS_ErrorClear();
  if (!entry) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_Log(1, "[thread] [SYS_ThreadKill] terminate thread: \"%s\"\n", entry->name);
  if (entry->state != 2) entry->state = 3;
  entry->stop = 1;
  pthread_join(entry->thread, nullptr);
  // After the join the thread is gone whatever its state says: a body that
  // returned without announcing its end must not keep the owner waiting.
  SYS_Log(1, "[thread] [SYS_ThreadKill] thread: '%s' state: %d\n", entry->name, entry->state.load());
  {
    std::lock_guard<std::mutex> lock(g_list_mutex);
    g_threads = SYS_ListRemove(g_threads, entry);
  }
  ReleaseEntry(entry);
  return 0;
}

SYS_Thread_p SYS_ThreadSelf() {
  SYS_Thread_p found = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_list_mutex);
    SYS_Sleep(25);
    pthread_t self = pthread_self();
    for (SYS_List_p n = g_threads; n; n = n->next) {
      auto *entry = static_cast<SYS_Thread_p>(n->data);
      if (pthread_equal(entry->thread, self)) {
        found = entry;
        break;
      }
    }
  }
  if (!found) {
    SYS_Log(1, "[thread] (%s:%d) !!! list is NULL\n", "thread.cpp", 222);
    exit(1);
  }
  return found;
}

int SYS_ThreadExit(SYS_Thread_p entry) {
  SYS_Thread_p self = SYS_ThreadSelf();
  if (entry) return (entry->stop || entry->state == 3) ? 1 : 0;
  self->stop = 0;
  self->state = 2;
  SYS_Log(1, "[thread] [SYS_ThreadExit] thread: '%s' state: %d\n", self->name, self->state.load());
  pthread_exit(nullptr);
}

SYS_Thread_Mutex_p SYS_MutexCreate() {
  void *block = SYS_MemGet(sizeof(SYS_Thread_Mutex_t), __FILE__, __LINE__, "SYS_MutexCreate");
  if (!block) return nullptr;
  auto *m = static_cast<SYS_Thread_Mutex_p>(block);
  pthread_mutex_init(&m->mutex, nullptr);
  return m;
}

void SYS_MutexFree(SYS_Thread_Mutex_p mutex) {
  if (!mutex) return;
  pthread_mutex_destroy(&mutex->mutex);
  SYS_MEMFREE(mutex);
}

int SYS_MutexLock(SYS_Thread_Mutex_p mutex) {
  if (mutex) pthread_mutex_lock(&mutex->mutex);
  return 0;
}

int SYS_MutexUnlock(SYS_Thread_Mutex_p mutex) {
  if (mutex) pthread_mutex_unlock(&mutex->mutex);
  return 0;
}
