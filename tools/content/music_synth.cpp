// The synthesizer; see music_synth.h.
#include "tools/content/music_synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

#include "tools/content/procedural.h"

namespace content {

namespace {

constexpr double kFs = kSampleRate;

// A sine table with linear interpolation: the oscillators run tens of
// millions of samples, and the table is exact enough for music.
class SineTable {
public:
  SineTable() {
    for (int i = 0; i <= kSize; ++i) {
      t_[static_cast<size_t>(i)] = static_cast<float>(std::sin(2 * kPi * i / kSize));
    }
  }
  // Sine of 2 pi x for a phase x in cycles.
  float operator()(double x) const {
    x -= std::floor(x);
    double p = x * kSize;
    int i = static_cast<int>(p);
    double f = p - i;
    return static_cast<float>(t_[static_cast<size_t>(i)] + (t_[static_cast<size_t>(i) + 1] - t_[static_cast<size_t>(i)]) * f);
  }

private:
  static constexpr int kSize = 4096;
  std::array<float, kSize + 1> t_{};
};

const SineTable &Sin() {
  static const SineTable table;
  return table;
}

double MidiHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Band-limited saw (PolyBLEP).
struct Saw {
  double phase = 0, inc = 0;
  explicit Saw(double hz, double start = 0) : phase(start), inc(hz / kFs) {}
  double Next() {
    double t = phase, v = 2 * t - 1;
    if (t < inc) {
      double x = t / inc;
      v -= x + x - x * x - 1;
    } else if (t > 1 - inc) {
      double x = (t - 1) / inc;
      v -= x * x + x + x + 1;
    }
    phase += inc;
    if (phase >= 1) phase -= 1;
    return v;
  }
};

// Chamberlin state-variable filter; cutoff kept below a sixth of the rate.
struct Svf {
  double low = 0, band = 0, q = 1.0;
  explicit Svf(double resonance) : q(2.0 - 2.0 * resonance) {}
  void Run(double x, double hz) {
    double f = 2.0 * Sin()(std::min(hz, 6500.0) / kFs / 2.0);
    double high = x - low - q * band;
    band += f * high;
    low += f * band;
  }
};

// Where a voice's samples go: left and right gains of its pan and its two
// effect sends, fixed per note.
struct Mix {
  float l, r, rev, dl, dr;
  Mix(double pan, double rev_send, double delay_send)
      : l(static_cast<float>(std::sqrt(0.5 * (1 - pan)))),
        r(static_cast<float>(std::sqrt(0.5 * (1 + pan)))),
        rev(static_cast<float>(rev_send)),
        dl(static_cast<float>(std::sqrt(0.5 * (1 - pan)) * delay_send)),
        dr(static_cast<float>(std::sqrt(0.5 * (1 + pan)) * delay_send)) {}
};

// Mixing targets: the dry stereo sum and the two effect sends.
struct Bus {
  std::vector<float> left, right, reverb, delay_l, delay_r;
  explicit Bus(size_t n) : left(n), right(n), reverb(n), delay_l(n), delay_r(n) {}
};

// A renderer's window on the bus: it writes the frames [lo, hi) and no
// others, so renderers of different windows can run side by side.
struct Out {
  Bus &bus;
  long lo, hi;
  void Put(long i, double v, const Mix &m) {
    if (i < lo || i >= hi) return;
    size_t k = static_cast<size_t>(i);
    float x = static_cast<float>(v);
    bus.left[k] += x * m.l;
    bus.right[k] += x * m.r;
    bus.reverb[k] += x * m.rev;
    bus.delay_l[k] += x * m.dl;
    bus.delay_r[k] += x * m.dr;
  }
  void PutStereo(long i, double l, double r, double rev) {
    if (i < lo || i >= hi) return;
    size_t k = static_cast<size_t>(i);
    bus.left[k] += static_cast<float>(l);
    bus.right[k] += static_cast<float>(r);
    bus.reverb[k] += static_cast<float>((l + r) * rev);
  }
};

// An exponential decay exp(-rate t), one multiplication per sample.
struct Decay {
  double v = 1.0, k;
  explicit Decay(double rate) : k(std::exp(-rate / kFs)) {}
  double Next() {
    double out = v;
    v *= k;
    return out;
  }
};

double StepsToSeconds(int steps) { return steps * 0.125; }

void Kick(Out &bus, long at, double vel, Rng &rng) {
  const long n = static_cast<long>(0.45 * kFs);
  const Mix mix(0, 0.02, 0);
  double phase = 0;
  Decay pitch(28.0), amp(6.5);
  for (long i = 0; i < n; ++i) {
    phase += (44.0 + 120.0 * pitch.Next()) / kFs;
    double v = Sin()(phase) * amp.Next();
    if (i < 130) v += (rng.Unit() * 2 - 1) * 0.25 * (1 - i / 130.0);
    bus.Put(at + i, 0.9 * vel * v, mix);
  }
}

void Snare(Out &bus, long at, double vel, Rng &rng) {
  const long n = static_cast<long>(0.32 * kFs);
  const Mix mix(0.05, 0.18, 0);
  double prev = 0, phase = 0;
  Decay bend(40), tone(22), rattle(15);
  for (long i = 0; i < n; ++i) {
    phase += 190.0 * (1 + 0.3 * bend.Next()) / kFs;
    double noise = rng.Unit() * 2 - 1, hp = noise - prev;
    prev = noise;
    double v = 0.35 * Sin()(phase) * tone.Next() + 0.45 * hp * rattle.Next();
    bus.Put(at + i, 0.55 * vel * v, mix);
  }
}

void Hat(Out &bus, long at, double vel, bool open, Rng &rng) {
  const long n = static_cast<long>((open ? 0.35 : 0.09) * kFs);
  const Mix mix(0.3, 0.05, 0);
  Decay amp(open ? 9.0 : 55.0);
  double p1 = 0, p2 = 0;
  for (long i = 0; i < n; ++i) {
    double x = rng.Unit() * 2 - 1;
    double h1 = x - p1;
    p1 = x;
    double h2 = h1 - p2;
    p2 = h1;
    bus.Put(at + i, 0.16 * vel * h2 * amp.Next(), mix);
  }
}

void Crash(Out &bus, long at, double vel, Rng &rng) {
  const long n = static_cast<long>(2.8 * kFs);
  const Mix mix(-0.2, 0.35, 0);
  Decay amp(1.7);
  double prev = 0;
  for (long i = 0; i < n; ++i) {
    double x = rng.Unit() * 2 - 1, hp = x - prev;
    prev = x;
    double shimmer = 0.6 + 0.4 * Sin()(i / kFs * 7.0);
    bus.Put(at + i, 0.22 * vel * hp * amp.Next() * shimmer, mix);
  }
}

void Riser(Out &bus, long at, int steps, double vel, Rng &rng) {
  const long n = static_cast<long>(StepsToSeconds(steps) * kFs);
  Svf f(0.7);
  for (long i = 0; i < n; ++i) {
    double k = static_cast<double>(i) / n;
    f.Run(rng.Unit() * 2 - 1, 300.0 * std::pow(20.0, k));
    double pan = Sin()(k * 3) * 0.5;
    double v = 0.22 * vel * f.band * k * k;
    bus.PutStereo(at + i, v * std::sqrt(0.5 * (1 - pan)), v * std::sqrt(0.5 * (1 + pan)), 0.2);
  }
}

void Bass(Out &bus, long at, int steps, int pitch, double vel) {
  const double hz = MidiHz(pitch), len = StepsToSeconds(steps) * 0.9;
  const long n = static_cast<long>((len + 0.05) * kFs), held = static_cast<long>(len * kFs);
  const Mix mix(0, 0.03, 0);
  Saw saw(hz);
  Svf f(0.35);
  Decay body(10), sweep(14), release(80);
  double sub = 0;
  for (long i = 0; i < n; ++i) {
    double env = std::min(1.0, i / (0.003 * kFs)) * (0.75 + 0.25 * body.Next()) * (i > held ? release.Next() : 1.0);
    sub += hz / kFs;
    f.Run(saw.Next(), 180.0 + 1300.0 * sweep.Next());
    bus.Put(at + i, 0.42 * vel * env * (f.low * 0.8 + 0.5 * Sin()(sub)), mix);
  }
}

void Lead(Out &bus, long at, int steps, int pitch, double vel) {
  const double hz = MidiHz(pitch), len = StepsToSeconds(steps) * 0.95;
  const long n = static_cast<long>((len + 0.2) * kFs), held = static_cast<long>(len * kFs);
  const Mix mix(-0.15, 0.22, 0.32);
  Saw a(hz * 1.004, 0.1), b(hz * 0.996, 0.6);
  Svf f(0.2);
  Decay body(6), sweep(8), release(25);
  for (long i = 0; i < n; ++i) {
    double t = i / kFs;
    double vib = 1.0 + 0.004 * Sin()(t * 5.5) * std::min(1.0, std::max(0.0, (t - 0.15) * 4));
    a.inc = hz * 1.004 * vib / kFs;
    b.inc = hz * 0.996 * vib / kFs;
    double env = std::min(1.0, t / 0.01) * (0.7 + 0.3 * body.Next()) * (i > held ? release.Next() : 1.0);
    f.Run(a.Next() + b.Next(), 2600 + 1200 * sweep.Next());
    bus.Put(at + i, 0.11 * vel * env * f.low, mix);
  }
}

void Bell(Out &bus, long at, int pitch, double vel, double pan) {
  const double hz = MidiHz(pitch);
  const long n = static_cast<long>(0.45 * kFs);
  const Mix mix(pan, 0.25, 0.3);
  Decay index(9), amp(7.5);
  double pc = 0, pm = 0;
  for (long i = 0; i < n; ++i) {
    pm += hz * 3.5 / kFs;
    pc += hz / kFs;
    double v = Sin()(pc + 0.35 * index.Next() * Sin()(pm));
    bus.Put(at + i, 0.075 * vel * v * amp.Next() * std::min(1.0, i / (0.002 * kFs)), mix);
  }
}

void Pad(Out &bus, long at, int steps, int pitch, double vel) {
  const double hz = MidiHz(pitch), len = StepsToSeconds(steps);
  const long n = static_cast<long>((len + 0.9) * kFs), held = static_cast<long>(len * kFs);
  // Three detuned voices spread across the stereo field.
  Saw s0(hz * 0.9948, 0.13), s1(hz, 0.51), s2(hz * 1.0052, 0.87);
  Svf f0(0.1), f1(0.1), f2(0.1);
  Decay release(5);
  const double gl0 = std::sqrt(0.85), gr0 = std::sqrt(0.15), gc = std::sqrt(0.5);
  double cut = 0;
  for (long i = 0; i < n; ++i) {
    double t = i / kFs;
    if (i % 64 == 0) cut = 700 + 350 * Sin()(t * 0.25 + pitch * 0.01);
    double env = std::min(1.0, t / 0.35) * (i > held ? release.Next() : 1.0);
    f0.Run(s0.Next(), cut);
    f1.Run(s1.Next(), cut);
    f2.Run(s2.Next(), cut);
    double g = 0.05 * vel * env;
    double l = g * (f0.low * gl0 + f1.low * gc + f2.low * gr0);
    double r = g * (f0.low * gr0 + f1.low * gc + f2.low * gl0);
    bus.PutStereo(at + i, l, r, 0.35);
  }
}

// A small plate reverb: parallel feedback combs with damping, then allpasses.
void Reverb(const std::vector<float> &in, std::vector<float> &out_l, std::vector<float> &out_r) {
  struct Comb {
    std::vector<float> buf;
    size_t pos = 0;
    float store = 0;
    explicit Comb(size_t n) : buf(n) {}
    float Run(float x) {
      float y = buf[pos];
      store = y * 0.75f + store * 0.25f;
      buf[pos] = x + store * 0.82f;
      pos = (pos + 1) % buf.size();
      return y;
    }
  };
  struct Allpass {
    std::vector<float> buf;
    size_t pos = 0;
    explicit Allpass(size_t n) : buf(n) {}
    float Run(float x) {
      float b = buf[pos];
      buf[pos] = x + b * 0.5f;
      pos = (pos + 1) % buf.size();
      return b - x;
    }
  };
  const size_t cl[4] = {1116, 1188, 1277, 1356}, al[2] = {556, 441};
  std::vector<Comb> lc, rc;
  std::vector<Allpass> la, ra;
  for (size_t n : cl) {
    lc.emplace_back(n);
    rc.emplace_back(n + 23);
  }
  for (size_t n : al) {
    la.emplace_back(n);
    ra.emplace_back(n + 23);
  }
  for (size_t i = 0; i < in.size(); ++i) {
    float x = in[i] * 0.12f, l = 0, r = 0;
    for (size_t k = 0; k < 4; ++k) {
      l += lc[k].Run(x);
      r += rc[k].Run(x);
    }
    for (size_t k = 0; k < 2; ++k) {
      l = la[k].Run(l);
      r = ra[k].Run(r);
    }
    out_l[i] += l;
    out_r[i] += r;
  }
}

// Ping-pong delay of three sixteenths.
void Delay(const std::vector<float> &in_l, const std::vector<float> &in_r, std::vector<float> &out_l,
           std::vector<float> &out_r) {
  const size_t d = static_cast<size_t>(StepFrame(3));
  std::vector<float> bl(d), br(d);
  size_t pos = 0;
  for (size_t i = 0; i < in_l.size(); ++i) {
    float yl = bl[pos], yr = br[pos];
    bl[pos] = in_l[i] + yr * 0.38f;
    br[pos] = in_r[i] + yl * 0.38f;
    pos = (pos + 1) % d;
    out_l[i] += yl * 0.6f;
    out_r[i] += yr * 0.6f;
  }
}


// Length in frames of what a note writes, release tails included.
long NoteFrames(const Note &n) {
  switch (n.instrument) {
    case kCrash: return static_cast<long>(2.8 * kFs);
    case kRiser: return static_cast<long>(StepsToSeconds(n.length) * kFs);
    case kPad: return static_cast<long>((StepsToSeconds(n.length) + 0.9) * kFs);
    case kLead: return static_cast<long>((StepsToSeconds(n.length) * 0.95 + 0.2) * kFs);
    case kBass: return static_cast<long>((StepsToSeconds(n.length) * 0.9 + 0.05) * kFs);
    default: return static_cast<long>(0.5 * kFs);
  }
}

void RenderNote(Out &bus, const Note &n, size_t idx) {
  Rng rng(0x5EED0000ull + idx);
  long at = StepFrame(n.step);
  switch (n.instrument) {
    case kKick: Kick(bus, at, n.velocity, rng); break;
    case kSnare: Snare(bus, at, n.velocity, rng); break;
    case kClosedHat: Hat(bus, at, n.velocity, false, rng); break;
    case kOpenHat: Hat(bus, at, n.velocity, true, rng); break;
    case kBass: Bass(bus, at, n.length, n.pitch, n.velocity); break;
    case kLead: Lead(bus, at, n.length, n.pitch, n.velocity); break;
    case kArp: Bell(bus, at, n.pitch, n.velocity, (n.step % 2 == 0) ? -0.45 : 0.45); break;
    case kPad: Pad(bus, at, n.length, n.pitch, n.velocity); break;
    case kCrash: Crash(bus, at, n.velocity, rng); break;
    case kRiser: Riser(bus, at, n.length, n.velocity, rng); break;
    case kInstrumentCount: break;
  }
}

}  // namespace

long StepFrame(int step) { return static_cast<long>(step) * 11025 / 2; }

StereoBuffer RenderSong(const std::vector<Note> &notes) {
  Bus bus(static_cast<size_t>(kSongFrames));
  // Each thread renders every note that reaches into its own stretch of the
  // song and writes only that stretch: a note crossing a border is computed
  // twice, identically, and every sample sums its notes in score order, so
  // the result does not depend on the number of threads.
  const int parts = 8;
  std::vector<std::thread> workers;
  for (int p = 0; p < parts; ++p) {
    workers.emplace_back([&, p] {
      Out out{bus, kSongFrames * p / parts, kSongFrames * (p + 1) / parts};
      for (size_t idx = 0; idx < notes.size(); ++idx) {
        long at = StepFrame(notes[idx].step);
        if (at < out.hi && at + NoteFrames(notes[idx]) > out.lo) {
          RenderNote(out, notes[idx], idx);
        }
      }
    });
  }
  for (std::thread &t : workers) {
    t.join();
  }
  Reverb(bus.reverb, bus.left, bus.right);
  Delay(bus.delay_l, bus.delay_r, bus.left, bus.right);
  // Gentle saturation, a click-free start and a fade over the last bars.
  StereoBuffer out{std::move(bus.left), std::move(bus.right)};
  const double fade_from = 228.0 * kFs, fade_to = 235.5 * kFs;
  for (size_t i = 0; i < out.left.size(); ++i) {
    double g = std::min(1.0, i / (0.01 * kFs));
    if (i > fade_from) g *= std::max(0.0, (fade_to - i) / (fade_to - fade_from));
    out.left[i] = static_cast<float>(std::tanh(out.left[i] * 1.2) * 0.9 * g);
    out.right[i] = static_cast<float>(std::tanh(out.right[i] * 1.2) * 0.9 * g);
  }
  return out;
}

}  // namespace content
