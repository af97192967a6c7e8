// The framework's one container, a doubly linked list of untyped pointers.
// A list is a pointer to its first node; NULL is the empty list. The list
// never owns or releases the data.
#pragma once

struct SYS_List_t {
  void *data;
  SYS_List_t *prev;
  SYS_List_t *next;
};
typedef SYS_List_t *SYS_List_p;

SYS_List_p SYS_ListAddFirst(SYS_List_p list, void *data);
SYS_List_p SYS_ListAddLast(SYS_List_p list, void *data);
SYS_List_p SYS_ListRemove(SYS_List_p list, void *data);
int SYS_ListFree(SYS_List_p list);
