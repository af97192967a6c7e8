// Music handles: one Ogg Vorbis stream played through one OpenAL source
// with four queued buffers that a player thread of its own keeps full.
//
// The main thread creates, plays, pauses, stops and frees a handle and
// posts seek requests; the player thread decodes, applies the seeks and
// requeues the buffers OpenAL has finished with. The words both threads
// touch (state and the two pending seeks) are atomic. QSS_Init must have
// made a context current before a handle is created.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/thread.h"
#include "sound/vorbis_stream.h"

constexpr int32_t QSS_MUSIC_BUFFERS = 4;
constexpr int32_t QSS_MUSIC_FILL_BYTES = 8192;  // at most this much decoded per buffer
constexpr uint32_t QSS_MUSIC_PASS_MS = 3;        // player's sleep between passes
constexpr int32_t QSS_MUSIC_PRIORITY = 2;        // thread priority code: the maximum
constexpr const char *QSS_MUSIC_THREAD_NAME = "QSS Music Player";

// Music types; Ogg Vorbis is the only one.
constexpr int32_t QSS_MUSIC_OGG = 0;

// State word.
enum : int32_t {
  QSS_MUSIC_STOPPED = 0,  // new, or stopped by QSS_StopMusic
  QSS_MUSIC_STARTED = 1,  // player thread started
  QSS_MUSIC_PAUSED = 2,   // pause toggled (also after it resumed)
  QSS_MUSIC_ENDED = 3,    // the player has ended
};

struct QSS_Music_t;
typedef QSS_Music_t *QSS_Music_p;

// Decodes into one OpenAL buffer; the bytes given to it, 0 at the end.
typedef int32_t (*QSS_MusicFill_t)(QSS_Music_p music, uint32_t buffer);

struct QSS_Music_t {
  char *name;
  uint32_t buffers[QSS_MUSIC_BUFFERS];  // OpenAL buffer names
  uint32_t source;                       // OpenAL source name
  std::atomic<int32_t> state;
  int32_t type;
  int32_t format;                        // AL_FORMAT_MONO16 or AL_FORMAT_STEREO16
  QSS_MusicFill_t fill;
  VorbisStream *stream;
  // Seeks posted by the main thread and taken by the player at its next
  // fill; 0 means none, so position 0 cannot be posted.
  std::atomic<int32_t> pending_byte_seek;
  std::atomic<int32_t> pending_time_seek;
  SYS_Thread_p player_thread;
  // Held by the fill while it decodes and by whoever else reads or toggles
  // the stream or the source from the main thread.
  SYS_Thread_Mutex_p mutex;
};

// A handle for the Ogg Vorbis file `name` (type 0 only; the third word has
// no effect). NULL with code 10 for another type, a NULL name or a stream
// of more than two channels, 5 when memory or OpenAL objects run out, or
// the stream's own code when it cannot be opened.
QSS_Music_p QSS_NewMusic(int32_t type, const char *name, int32_t unused);
// Stops the player, deletes the buffers and the source, closes the stream
// and releases the handle; 0.
int QSS_FreeMusic(QSS_Music_p music);
// The first call starts the player thread; later calls resume a paused or
// stopped source. -1 with the thread's code when the player cannot start.
int QSS_PlayMusic(QSS_Music_p music);
// Returns once the player has stopped the source and ended.
int QSS_StopMusic(QSS_Music_p music);
// Pauses a playing source, plays any other (a toggle).
int QSS_PauseMusic(QSS_Music_p music);
int QSS_SetMusicPos(QSS_Music_p music, int32_t bytes);
int QSS_SetMusicTime(QSS_Music_p music, int32_t milliseconds);
// The decoder's position, ahead of what is heard by the queued buffers.
int32_t QSS_GetMusicPos(QSS_Music_p music);
int32_t QSS_GetMusicTime(QSS_Music_p music);
int32_t QSS_GetMusicState(QSS_Music_p music);

// The player thread's work, public so it can be driven step by step.
int32_t _QSS_MusicFill(QSS_Music_p music, uint32_t buffer);
void *_QSS_MusicPlayer(void *music);
