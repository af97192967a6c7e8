// Float arrays of finished vertex batches, kept with their capacity for
// the next batch. Gathering into fresh vectors every frame made the
// allocator map, fault in and unmap tens of megabytes a frame. Per thread.
#pragma once

#include <vector>

// A spare array, empty, or a new one when none is left.
std::vector<float> TakeSpareArray();
// Empties v and keeps its storage for a later TakeSpareArray.
void GiveBackArray(std::vector<float> &v);
