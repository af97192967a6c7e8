// Music handles and their player thread.
//
// A handle owns four OpenAL buffers, one source, a Vorbis stream and a
// mutex. Its player thread fills the four buffers, queues them and starts
// the source, then passes through a loop until it is asked to stop: every
// buffer the source has finished is unqueued, refilled and queued again,
// then the thread sleeps a few milliseconds and tests its stop request (the
// lookup of its own entry costs another 25 ms). At the end of the stream it
// stops the source at once and ends. A source that ran dry because the
// refills came too late (the thread was starved for longer than the queue
// lasts) is started again once its buffers are full, rather than leaving
// the rest of the music silent.
//
// Threads: the main thread runs every public operation, the player thread
// only the fill and its own body. The state word and the pending seeks are
// atomic; a seek is taken and cleared in one exchange, so one posted while
// a fill runs is never lost. The stream is decoded under the handle's
// mutex, so the main thread can ask for the position while the player
// plays. QSS_StopMusic joins the player, so QSS_FreeMusic releases the
// OpenAL objects and the stream only once nothing else uses them.
//
// The player allocates nothing per pass: its decode buffer is on its stack.
#include "sound/music.h"

#include <new>
#include <type_traits>

#include <AL/al.h>

#include "framework/clock.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

static_assert(std::is_same_v<ALuint, uint32_t>, "buffer and source names are stored as uint32_t");

namespace {

// Every public operation refuses a NULL handle the same way.
bool Usable(QSS_Music_p music) {
  if (!music) {
    SYS_ErrorSet(10);
    return false;
  }
  return true;
}

ALint SourceState(QSS_Music_p music) {
  ALint state = 0;  // none of the AL_ states, should the query fail
  alGetSourcei(music->source, AL_SOURCE_STATE, &state);
  return state;
}

void ReleaseHandle(QSS_Music_p music) {
  SYS_MEMFREE(music->name);
  music->~QSS_Music_t();
  SYS_MEMFREE(music);
}

}  // namespace

QSS_Music_p QSS_NewMusic(int32_t type, const char *name, int32_t /*unused*/) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  void *block = SYS_MemGet(sizeof(QSS_Music_t), __FILE__, __LINE__, "new handle");
  if (!block) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  QSS_Music_p music = new (block) QSS_Music_t{};
  music->state = QSS_MUSIC_STOPPED;
  music->type = type;

  music->name = STRDUP(name);
  if (!music->name) {
    ReleaseHandle(music);
    SYS_ErrorSet(5);
    return nullptr;
  }
  if (type != QSS_MUSIC_OGG) {
    ReleaseHandle(music);
    SYS_ErrorSet(10);
    return nullptr;
  }

  music->stream = VorbisOpen(music->name);
  if (!music->stream) {
    const int32_t code = SYS_ErrorGet();
    ReleaseHandle(music);
    SYS_ErrorSet(code);
    return nullptr;
  }
  music->fill = _QSS_MusicFill;

  switch (music->stream->channels) {
    case 1:
      music->format = AL_FORMAT_MONO16;
      break;
    case 2:
      music->format = AL_FORMAT_STEREO16;
      break;
    default:
      SYS_Log(1, "[qss][music] [QSS_NewMusic] too many channels (%d)...\n", music->stream->channels);
      VorbisClose(music->stream);
      ReleaseHandle(music);
      SYS_ErrorSet(10);
      return nullptr;
  }

  // Without a current context OpenAL hands out no names at all; a handle
  // that could never sound is refused here rather than later.
  alGetError();
  alGenBuffers(QSS_MUSIC_BUFFERS, music->buffers);
  alGenSources(1, &music->source);
  music->mutex = SYS_MutexCreate();
  if (alGetError() != AL_NO_ERROR || music->source == 0 || !music->mutex) {
    if (music->source) alDeleteSources(1, &music->source);
    alDeleteBuffers(QSS_MUSIC_BUFFERS, music->buffers);
    alGetError();
    SYS_MutexFree(music->mutex);
    VorbisClose(music->stream);
    ReleaseHandle(music);
    SYS_ErrorSet(5);
    return nullptr;
  }
  return music;
}

int QSS_FreeMusic(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  SYS_Log(1, "[qss][music] [QSS_FreeMusic] freeing: %s\n", music->name);
  QSS_StopMusic(music);

  // A stopped source counts every queued buffer as processed, so exactly
  // the queued ones can be unqueued; asking for more would unqueue none and
  // leave the buffers attached, undeletable.
  alSourceStop(music->source);
  ALint queued = 0;
  alGetSourcei(music->source, AL_BUFFERS_QUEUED, &queued);
  if (queued > 0) {
    ALuint unqueued[QSS_MUSIC_BUFFERS] = {};
    alSourceUnqueueBuffers(music->source, queued < QSS_MUSIC_BUFFERS ? queued : QSS_MUSIC_BUFFERS,
                           unqueued);
  }
  alDeleteBuffers(QSS_MUSIC_BUFFERS, music->buffers);
  alDeleteSources(1, &music->source);
  if (music->type != QSS_MUSIC_OGG) {
    SYS_ErrorSet(10);
    return -1;
  }

  VorbisClose(music->stream);
  SYS_MutexFree(music->mutex);
  ReleaseHandle(music);
  return 0;
}

int QSS_PlayMusic(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  switch (SourceState(music)) {
    case AL_INITIAL:
      // A player that is still filling has not started the source yet; a
      // second one on the same source would corrupt the queue.
      if (music->player_thread) break;
      music->state = QSS_MUSIC_STARTED;
      music->player_thread =
          SYS_ThreadCreate(_QSS_MusicPlayer, music, QSS_MUSIC_PRIORITY, QSS_MUSIC_THREAD_NAME);
      if (!music->player_thread) {
        music->state = QSS_MUSIC_STOPPED;
        return -1;
      }
      break;
    case AL_PLAYING:
      break;
    default:
      alSourcePlay(music->source);
      break;
  }
  return 0;
}

int QSS_StopMusic(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  if (music->player_thread) {
    SYS_ThreadKill(music->player_thread);
    music->player_thread = nullptr;
  }
  music->state = QSS_MUSIC_STOPPED;
  return 0;
}

int QSS_PauseMusic(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  SYS_MutexLock(music->mutex);
  music->state = QSS_MUSIC_PAUSED;
  if (SourceState(music) == AL_PLAYING)
    alSourcePause(music->source);
  else
    alSourcePlay(music->source);
  SYS_MutexUnlock(music->mutex);
  return 0;
}

int QSS_SetMusicPos(QSS_Music_p music, int32_t bytes) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  music->pending_byte_seek = bytes;
  return 0;
}

int QSS_SetMusicTime(QSS_Music_p music, int32_t milliseconds) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  music->pending_time_seek = milliseconds;
  return 0;
}

int32_t QSS_GetMusicPos(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  if (music->type != QSS_MUSIC_OGG) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_MutexLock(music->mutex);
  const int64_t bytes = VorbisTellBytes(music->stream);
  SYS_MutexUnlock(music->mutex);
  return int32_t(uint32_t(uint64_t(bytes)));
}

int32_t QSS_GetMusicTime(QSS_Music_p music) {
  SYS_ErrorClear();
  if (!Usable(music)) return -1;
  if (music->type != QSS_MUSIC_OGG) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_MutexLock(music->mutex);
  const double seconds = VorbisTellTime(music->stream);
  SYS_MutexUnlock(music->mutex);
  return int32_t(seconds * 1000.0);
}

int32_t QSS_GetMusicState(QSS_Music_p music) {
  if (!Usable(music)) return -1;
  return music->state;
}

int32_t _QSS_MusicFill(QSS_Music_p music, uint32_t buffer) {
  char pcm[QSS_MUSIC_FILL_BYTES];
  int32_t n = 0;

  SYS_MutexLock(music->mutex);
  // The byte seek goes first, so of two posted together the time seek wins.
  if (const int32_t bytes = music->pending_byte_seek.exchange(0)) VorbisSeekBytes(music->stream, bytes);
  if (const int32_t ms = music->pending_time_seek.exchange(0)) VorbisSeekTime(music->stream, ms);
  while (n < QSS_MUSIC_FILL_BYTES) {
    const int32_t got = VorbisRead(music->stream, pcm + n, QSS_MUSIC_FILL_BYTES - n);
    if (got < 1) break;
    n += got;
  }
  SYS_MutexUnlock(music->mutex);

  if (n == 0) return 0;
  alBufferData(buffer, music->format, pcm, n, music->stream->rate);
  return n;
}

void *_QSS_MusicPlayer(void *argument) {
  auto *music = static_cast<QSS_Music_p>(argument);
  SYS_Log(1, "[qss][music] [_QSS_MusicPlayer] start playing...\n");

  bool ended = false;
  for (int32_t i = 0; i < QSS_MUSIC_BUFFERS && !ended; ++i)
    ended = music->fill(music, music->buffers[i]) == 0;

  if (!ended) {
    SYS_Log(1, "[qss][music] [_QSS_MusicPlayer] prefilled buffers: %d\n", QSS_MUSIC_BUFFERS);
    alSourceQueueBuffers(music->source, QSS_MUSIC_BUFFERS, music->buffers);
    alSourcePlay(music->source);

    for (;;) {
      SYS_Thread_p self = SYS_ThreadSelf();
      if (!self || self->stop != 0) break;

      // Read before the processed count: a source found stopped has played
      // everything, so every queued buffer is refilled below.
      ALint source_state = 0;
      alGetSourcei(music->source, AL_SOURCE_STATE, &source_state);
      ALint processed = 0;
      alGetSourcei(music->source, AL_BUFFERS_PROCESSED, &processed);
      for (; processed > 0 && !ended; --processed) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(music->source, 1, &buffer);
        if (buffer == 0) break;  // nothing came off the queue after all
        ended = music->fill(music, buffer) == 0;
        if (!ended) alSourceQueueBuffers(music->source, 1, &buffer);
      }
      if (ended) break;
      if (source_state == AL_STOPPED) {
        SYS_Log(1, "[qss][music] [_QSS_MusicPlayer] source ran dry, restarting...\n");
        alSourcePlay(music->source);
      }
      SYS_Sleep(QSS_MUSIC_PASS_MS);
    }
  }

  alSourceStop(music->source);
  music->state = QSS_MUSIC_ENDED;
  SYS_Log(1, "[qss][music] [_QSS_MusicPlayer] stop playing...\n");
  SYS_ThreadExit(nullptr);
  return nullptr;
}
