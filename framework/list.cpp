// The doubly linked list of untyped pointers. Nodes are tracked blocks;
// the data they hold belongs to the caller and is never released here.
// On failure the add and remove operations return NULL, not the old head,
// so a caller keeps its head when the result is NULL.
#include "framework/list.h"

#include "framework/log.h"
#include "framework/memory.h"

namespace {

SYS_List_p NewNode(void *data, const char *tag) {
  auto *node = static_cast<SYS_List_p>(SYS_MemGet(sizeof(SYS_List_t), __FILE__, __LINE__, tag));
  if (node) node->data = data;
  return node;
}

}  // namespace

SYS_List_p SYS_ListAddFirst(SYS_List_p list, void *data) {
  SYS_ErrorClear();
  if (!data) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  SYS_List_p node = NewNode(data, "SYS_ListAddFirst");
  if (!node) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  node->next = list;
  if (list) list->prev = node;
  return node;
}

SYS_List_p SYS_ListAddLast(SYS_List_p list, void *data) {
  SYS_ErrorClear();
  if (!data) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  SYS_List_p node = NewNode(data, "SYS_ListAddLast");
  if (!node) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  if (!list) return node;
  SYS_List_p last = list;
  while (last->next) last = last->next;
  last->next = node;
  node->prev = last;
  return list;
}

SYS_List_p SYS_ListRemove(SYS_List_p list, void *data) {
  SYS_ErrorClear();
  if (!list || !data) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  for (SYS_List_p n = list; n; n = n->next) {
    if (n->data != data) continue;
    if (n->prev) n->prev->next = n->next;
    if (n->next) n->next->prev = n->prev;
    SYS_List_p head = (n == list) ? n->next : list;
    SYS_MEMFREE(n);
    return head;
  }
  return list;
}

int SYS_ListFree(SYS_List_p list) {
  SYS_ErrorClear();
  if (!list) {
    SYS_ErrorSet(10);
    return -1;
  }
  while (list) {
    SYS_List_p next = list->next;
    SYS_MEMFREE(list);
    list = next;
  }
  return 0;
}
