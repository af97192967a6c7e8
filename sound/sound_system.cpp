// Sound system start-up and shutdown.
//
// QSS_Init opens the default output device, creates one context with the
// frequency and the one source the caller's flags ask for, makes it current
// and logs what the implementation reports about itself. It runs on the
// main thread only; the device and context pointers are written here and
// by QSS_Shutdown and read by nobody else.
//
// The original target offered mixer extensions (output rate, render channel
// count, convert-on-load) that OpenAL Soft does not have; instead of setting
// them we log what the context really runs at, which is what those lines
// were for. Every value read back from OpenAL starts out initialised, so a
// call that fails leaves a defined number in the log rather than garbage.
#include "sound/sound_system.h"

#include <AL/al.h>
#include <AL/alc.h>

#include "framework/log.h"

namespace {

ALCdevice *g_device = nullptr;
ALCcontext *g_context = nullptr;

// Output frequencies by the index in the low byte of the flags; index 0 is
// not a frequency.
constexpr ALCint kFrequencies[] = {0, 11025, 22050, 44100, 48000, 88200, 96000};
constexpr int32_t kFrequencyCount = sizeof(kFrequencies) / sizeof(kFrequencies[0]);

constexpr int32_t kLayoutMono = 1;
constexpr int32_t kLayoutStereo = 2;

// OpenAL hands back NULL for strings it cannot answer; printf must never
// see one.
const char *Text(const char *text) { return text ? text : ""; }

void LogImplementation(ALCdevice *device) {
  ALCint major = 0;
  ALCint minor = 0;
  alcGetIntegerv(device, ALC_MAJOR_VERSION, 1, &major);
  alcGetIntegerv(device, ALC_MINOR_VERSION, 1, &minor);

  SYS_Log(1, "[qss]  - default device: %s\n", Text(alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER)));
  const ALCchar *specifier = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
  if (specifier && *specifier) SYS_Log(1, "[qss]  - device specifier: %s\n", specifier);
  SYS_Log(1, "[qss]  - ALC version: %d.%d\n", major, minor);
  SYS_Log(1, "[qss]  - ALC extensions: %s\n", Text(alcGetString(device, ALC_EXTENSIONS)));
  SYS_Log(1, "[qss]  - AL vendor: %s\n", Text(alGetString(AL_VENDOR)));
  SYS_Log(1, "[qss]  - AL version: %s\n", Text(alGetString(AL_VERSION)));
  SYS_Log(1, "[qss]  - AL renderer: %s\n", Text(alGetString(AL_RENDERER)));
  SYS_Log(1, "[qss]  - AL extensions: %s\n", Text(alGetString(AL_EXTENSIONS)));

  // What the context was really given, in place of the mixer extension
  // queries: the output frequency and the stereo and mono source counts.
  ALCint frequency = 0;
  ALCint stereo = 0;
  ALCint mono = 0;
  alcGetIntegerv(device, ALC_FREQUENCY, 1, &frequency);
  alcGetIntegerv(device, ALC_STEREO_SOURCES, 1, &stereo);
  alcGetIntegerv(device, ALC_MONO_SOURCES, 1, &mono);
  SYS_Log(1, "[qss]  - ALC frequency: %d\n", frequency);
  SYS_Log(1, "[qss]  - ALC stereo sources: %d\n", stereo);
  SYS_Log(1, "[qss]  - ALC mono sources: %d\n", mono);

  SYS_Log(1, "[qss]  - AL speed of sound: %.2f\n", double(alGetFloat(AL_SPEED_OF_SOUND)));
}

}  // namespace

int QSS_Init(int32_t flags) {
  SYS_ErrorClear();
  SYS_Log(1, "[qss] initialize...\n");

  const int32_t index = flags & 0xff;
  const int32_t layout = (flags >> 8) & 0xff;
  if (index < 1 || index >= kFrequencyCount || (layout != kLayoutMono && layout != kLayoutStereo) ||
      g_device) {
    SYS_ErrorSet(10);
    return -1;
  }

  const ALCint attributes[] = {
      ALC_FREQUENCY,      kFrequencies[index],
      ALC_MONO_SOURCES,   layout == kLayoutMono ? 1 : 0,
      ALC_STEREO_SOURCES, layout == kLayoutStereo ? 1 : 0,
      ALC_SYNC,           0,
      0,
  };

  ALCdevice *device = alcOpenDevice(nullptr);
  if (!device) {
    SYS_Log(1, "[qss]  - no audio device\n");
    SYS_ErrorSet(1);
    return -1;
  }
  ALCcontext *context = alcCreateContext(device, attributes);
  if (!context || !alcMakeContextCurrent(context)) {
    SYS_Log(1, "[qss]  - no audio context\n");
    if (context) alcDestroyContext(context);
    alcCloseDevice(device);
    SYS_ErrorSet(1);
    return -1;
  }
  g_device = device;
  g_context = context;

  LogImplementation(device);
  return 0;
}

int QSS_Shutdown() {
  SYS_ErrorClear();
  alcMakeContextCurrent(nullptr);
  if (g_context) alcDestroyContext(g_context);
  if (g_device) alcCloseDevice(g_device);
  g_context = nullptr;
  g_device = nullptr;
  return 0;
}
