// The task list of the pack and the runner that executes it; see
// generators.h. Tasks share nothing but the read-only font book (whose
// renderer serialises itself), so they may run in any order on any thread;
// their files are joined in list order afterwards.
#include "tools/content/generators.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace content {

std::vector<GeneratorTask> AllTasks(const FontBook &fonts) {
  std::vector<GeneratorTask> tasks;
  // The music first: it is the longest task and should start at once.
  tasks.push_back({"music", [] { return MusicFiles(); }});
  for (GeneratorTask &t : SceneTextureTasks(fonts)) {
    tasks.push_back(std::move(t));
  }
  for (GeneratorTask &t : RawImageTasks(fonts)) {
    tasks.push_back(std::move(t));
  }
  for (GeneratorTask &t : EffectTextureTasks(fonts)) {
    tasks.push_back(std::move(t));
  }
  tasks.push_back({"meshes", [] { return MeshFiles(); }});
  tasks.push_back({"voxels", [] { return VoxelFiles(); }});
  tasks.push_back({"layer effects", [] { return LayerEffectFiles(); }});
  tasks.push_back({"dialogs", [&fonts] { return DialogFiles(fonts); }});
  return tasks;
}

ContentSet RunTasks(const std::vector<GeneratorTask> &tasks, int threads) {
  std::vector<ContentSet> results(tasks.size());
  std::vector<std::exception_ptr> errors(tasks.size());
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i = next++; i < tasks.size(); i = next++) {
      try {
        results[i] = tasks[i].run();
      } catch (...) {
        errors[i] = std::current_exception();
      }
    }
  };
  int n = std::max(1, std::min<int>(threads, static_cast<int>(tasks.size())));
  std::vector<std::thread> pool;
  for (int i = 1; i < n; ++i) {
    pool.emplace_back(worker);
  }
  worker();
  for (std::thread &t : pool) {
    t.join();
  }
  ContentSet all;
  for (size_t i = 0; i < tasks.size(); ++i) {
    if (errors[i]) {
      std::rethrow_exception(errors[i]);
    }
    all.Append(std::move(results[i]));
  }
  return all;
}

}  // namespace content
