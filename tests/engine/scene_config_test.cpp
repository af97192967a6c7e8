// Scene text configuration and geometry dump: the writer's line counts,
// a save and load round trip, the reader's edge cases as one table, the
// fatal exits, and a cube's dump.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/anim/geometry_dump.h"
#include "engine/anim/scene_config.h"
#include "engine/scene/records.h"
#include "support/test_support.h"

namespace {

// A scene whose arrays live in the fixture.
struct Scene {
  std::vector<_3DV_MATERIAL> materials;
  std::vector<_3DV_OBJECT> objects;
  _3DV_SCENE scene{};

  Scene(std::vector<std::string> material_names, std::vector<std::string> object_names)
      : materials(material_names.size()), objects(object_names.size()) {
    for (size_t i = 0; i < materials.size(); ++i) {
      materials[i] = {};
      materials[i].name.assign(material_names[i]);
    }
    for (size_t i = 0; i < objects.size(); ++i) {
      objects[i] = {};
      objects[i].name.assign(object_names[i]);
    }
    scene.materialcount = int32_t(materials.size());
    scene.materials = materials.empty() ? nullptr : materials.data();
    scene.objectcount = int32_t(objects.size());
    scene.objects = objects.empty() ? nullptr : objects.data();
  }
};

size_t Lines(const std::string &text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

bool Has(const std::string &text, const std::string &line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// Sets every written field from a seed, so two seeds differ everywhere.
void Fill(Scene &s, int seed) {
  const float f = float(seed);
  const auto b = uint8_t(seed & 1), nb = uint8_t(~seed & 1);
  const std::string tag = std::to_string(seed);
  s.scene.camerafov = 0.25f * f, s.scene.cameranear = 0.5f + f, s.scene.camerafar = 800 * f;
  for (size_t i = 0; i < s.materials.size(); ++i) {
    _3DV_MATERIAL &m = s.materials[i];
    const float k = f + float(i);
    m.texturename.assign("tex" + tag), m.envmaptexture.assign("env" + tag);
    m.transparency = 0.5f * float(i), m.utile = k, m.vtile = -k, m.alphatest = 0.125f * k;
    m.constantalpha = k / 4, m.flaresize = -2.5f * k;
    m.textured = b, m.envmap = nb, m.receivelight = b;
    m.ambient = {k, 0.2f, -k}, m.diffuse = {0.5f, k, 1}, m.specular = {-0.75f, 0, k};
    m.shine = -7 * seed, m.magtype = seed + 1, m.depthtest = uint8_t(seed + 200);
    m.texturewrap = uint8_t(seed), m.bpp = i == 0 ? 24 : 32;
  }
  for (size_t i = 0; i < s.objects.size(); ++i) {
    _3DV_OBJECT &o = s.objects[i];
    _3DV_PARTICLEDATA &p = o.particledata;
    const float k = f - float(i);
    o.material = int32_t(i + size_t(seed)) % int32_t(s.materials.size());
    o.rendermode = uint8_t(seed + 250), o.visible = b, o.backfacecull = nb;
    p.particleenabled = b, p.deltavector = {k, -k, 2}, p.deltavectorspread = {0.5f, k, 3};
    p.color = {k, k, k}, p.colorspread = {-1, 0, k}, p.colorattrib = uint8_t(seed * 3);
    p.power = 100 * k, p.deltapower = -k, p.newparticle = -seed * 1000, p.size = k / 8;
    p.particletexture.assign("spark" + tag);
  }
  for (int l = 0; l < _3DV_LIGHT_COUNT; ++l) {
    _3DV_LIGHT &light = s.scene.lights[l];
    light.name.assign("light" + std::to_string(l)), light.enabled = uint8_t((seed + l) & 1);
    light.pos = {f * float(l), -10, 300}, light.ambient = {0.1f * f, 0, 0};
    light.diffuse = {0, f, 0}, light.specular = {0, 0, -f};
  }
}

TEST(SceneConfig, LineCountsFollowTheMaterialsAndObjects) {
  Scene empty({}, {});
  const std::string zero = _3DV_ConfigText(empty.scene);
  EXPECT_EQ(Lines(zero), 65u);
  EXPECT_TRUE(zero.starts_with("# 3DVell config file\n#\ncamerafov=0.0000\n"));
  EXPECT_TRUE(Has(zero, "light().specular=0.0000,0.0000,0.0000"));

  // 24 and 32 bits give a blend line, any other bpp none; an object whose
  // material is not one of the scene's gets no passno line.
  Scene s({"a", "b", "c"}, {"o1", "o2", "o3"});
  s.materials[0].bpp = 24, s.materials[1].bpp = 32, s.materials[2].bpp = 8;
  s.objects[0].material = 0, s.objects[1].material = 1;
  s.objects[2].material = 3;
  const std::string text = _3DV_ConfigText(s.scene);
  EXPECT_EQ(Lines(text), 65u + 20 + 20 + 19 + 18 + 18 + 16);
  EXPECT_TRUE(Has(text, "material(b).blend=2"));
  EXPECT_TRUE(Has(text, "object(o2).passno=2\n#alpha channel texture :"));
  EXPECT_EQ(text.find("object(o3).passno"), std::string::npos);

  s.objects[0].material = -1;
  EXPECT_EQ(Lines(_3DV_ConfigText(s.scene)), 65u + 59 + 18 + 16 + 16);
}

TEST(SceneConfig, OneMaterialObjectAndLightAreWrittenAsTheKeyListSays) {
  // Values picked to show the number format: four decimals, a sign only
  // when negative, kept when a negative value rounds to zero.
  Scene s({"steel"}, {"gear"});
  s.scene.camerafov = 1.5f, s.scene.cameranear = 0.5f, s.scene.camerafar = 800;
  _3DV_MATERIAL &m = s.materials[0];
  m.texturename.assign("steel.tga"), m.envmaptexture.assign("env.tga");
  m.transparency = 0.25f, m.utile = 2, m.vtile = -0.5f, m.textured = 1;
  m.ambient = {0.1f, 0.2f, 0.3f}, m.diffuse = {1, 0.5f, 0}, m.specular = {-0.25f, 0, 1};
  m.shine = -3, m.envmap = 0, m.magtype = 2, m.receivelight = 1, m.depthtest = 3;
  m.alphatest = 0.5f, m.texturewrap = 1, m.constantalpha = 0.75f, m.flaresize = 12.5f;
  m.bpp = 24;
  _3DV_OBJECT &o = s.objects[0];
  _3DV_PARTICLEDATA &p = o.particledata;
  o.material = 0, o.rendermode = 1, o.visible = 1, o.backfacecull = 0, o.passno = 7;
  p.particleenabled = 1, p.deltavector = {0, -1.5f, 2}, p.deltavectorspread = {0.125f, 3, 0};
  p.color = {1, 0, 0}, p.colorspread = {0, 0.5f, 0}, p.colorattrib = 4, p.power = 100;
  p.deltapower = -3.67e-14f, p.newparticle = -7, p.size = 0.0625f;
  p.particletexture.assign("spark.tga");
  _3DV_LIGHT &l = s.scene.lights[0];
  l.name.assign("sun"), l.enabled = 1, l.pos = {-10, 2.5f, 300};
  l.ambient = {0.05f, 0.05f, 0.05f}, l.diffuse = {0.9f, 0.85f, 0.75f}, l.specular = {-1e-6f, 0, 1};

  const std::string expected =
      "# 3DVell config file\n"
      "#\n"
      "camerafov=1.5000\n"
      "cameranear=0.5000\n"
      "camerafar=800.0000\n"
      "#\n"
      "# Material Info\n"
      "# \n"
      "#                  Texture min/mag filters:\n"
      "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)\n"
      "# \n"
      "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A\n"
      "# Alphatest : 0 -N/A ; 0..1 -alpha testing value\n"
      "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA\n"
      "# \n"
      "material(steel).texturename=steel.tga\n"
      "material(steel).transparency=0.2500\n"
      "material(steel).utile=2.0000\n"
      "material(steel).vtile=-0.5000\n"
      "material(steel).textured=1\n"
      "material(steel).ambient=0.1000,0.2000,0.3000\n"
      "material(steel).diffuse=1.0000,0.5000,0.0000\n"
      "material(steel).specular=-0.2500,0.0000,1.0000\n"
      "material(steel).shine=-3\n"
      "material(steel).envmap=0\n"
      "material(steel).envmaptexture=env.tga\n"
      "material(steel).magtype=2\n"
      "material(steel).receivelight=1\n"
      "material(steel).depthtest=3\n"
      "material(steel).alphatest=0.5000\n"
      "material(steel).texturewrap=1\n"
      "material(steel).constantalpha=0.7500\n"
      "material(steel).flaresize=12.5000\n"
      "material(steel).blend=1\n"  // 24 bits, transparency above 0
      "#\n"
      "# Object Info\n"
      "object(gear).material=0\n"
      "object(gear).rendermode=1\n"
      "object(gear).visible=1\n"
      "object(gear).particleenabled=1\n"
      "object(gear).deltavector=0.0000,-1.5000,2.0000\n"
      "object(gear).deltavectorspread=0.1250,3.0000,0.0000\n"
      "object(gear).color=1.0000,0.0000,0.0000\n"
      "object(gear).colorspread=0.0000,0.5000,0.0000\n"
      "object(gear).colorattrib=4\n"
      "object(gear).power=100.0000\n"
      "object(gear).deltapower=-0.0000\n"
      "object(gear).newparticle=-7\n"
      "object(gear).particletexture=spark.tga\n"
      "object(gear).size=0.0625\n"
      "object(gear).passno=1\n"  // from the material, not the field
      "#transparent material :steel.tga\n"
      "object(gear).backfacecull=0\n"
      "#\n"
      "# Light Info\n"
      "light(sun).enabled=1\n"
      "light(sun).pos=-10.0000,2.5000,300.0000\n"
      "light(sun).ambient=0.0500,0.0500,0.0500\n"
      "light(sun).diffuse=0.9000,0.8500,0.7500\n"
      "light(sun).specular=-0.0000,0.0000,1.0000\n"
      "#\n";
  const std::string unused =
      "light().enabled=0\n"
      "light().pos=0.0000,0.0000,0.0000\n"
      "light().ambient=0.0000,0.0000,0.0000\n"
      "light().diffuse=0.0000,0.0000,0.0000\n"
      "light().specular=0.0000,0.0000,0.0000\n"
      "#\n";
  std::string all = expected;
  for (int slot = 1; slot < _3DV_LIGHT_COUNT; ++slot) all += unused;
  EXPECT_EQ(_3DV_ConfigText(s.scene), all);
}

TEST(SceneConfig, SaveThenLoadRestoresEveryWrittenField) {
  ember_test::TempDir dir;
  Scene a({"m0", "m1"}, {"o0", "o1", "o2"});
  Fill(a, 1);
  a.materials[1].transparency = 0.123456f;  // rounds to four decimals
  a.objects[1].visible = 2;                 // a true that is not 1 stays true
  a.materials[0].blend = 9, a.objects[0].passno = 9;
  _3DV_SaveConfig(a.scene, dir.str("a.cfg"));

  Scene b({"m0", "m1"}, {"o0", "o1", "o2"});
  Fill(b, 2);
  b.scene.passcount = 77;
  _3DV_LoadConfig(b.scene, dir.str("a.cfg"));

  a.materials[1].transparency = 0.1235f;
  a.objects[1].visible = 1;
  EXPECT_EQ(_3DV_ConfigText(b.scene), _3DV_ConfigText(a.scene));
  // Blend and passno come from bpp and transparency: m0 24 bits opaque,
  // m1 32 bits.
  EXPECT_EQ(b.materials[0].blend, 0);
  EXPECT_EQ(b.materials[1].blend, 2);
  for (const _3DV_OBJECT &o : b.objects) EXPECT_EQ(o.passno, o.material == 0 ? 0 : 2);
  EXPECT_EQ(b.scene.passcount, 2);
  EXPECT_EQ(b.objects[1].visible, 1);
  EXPECT_FLOAT_EQ(b.materials[1].transparency, 0.1235f);
}

// Each row is a file and what it does to the base scene.
struct Row {
  const char *what;
  std::string text;
  std::function<void(const Scene &)> check;
};

Scene Base() {
  Scene s({"wood", "stone", "wood.001"}, {"ball", "box"});
  for (auto &m : s.materials) {
    m.texturename.assign("orig");
    m.envmap = 1, m.shine = 5, m.transparency = 0.25f;
  }
  s.objects[1].passno = 1;
  s.scene.passcount = 99;
  s.scene.camerafov = 0.5f;
  s.scene.lights[2].name.assign("lamp");
  s.scene.lights[2].diffuse = {5, 5, 5};
  for (int l : {0, 1, 3, 4, 5, 6}) s.scene.lights[l].name.assign("named");
  return s;
}

TEST(SceneConfig, ReaderEdgeCases) {
  const std::string long_name(300, 'a');
  const Row rows[] = {
      {"a passno of 2 sets passcount", "object(box).passno=2",
       [](const Scene &s) { EXPECT_EQ(s.scene.passcount, 2); }},
      {"passcount is recomputed without passno lines", "# nothing\n\n",
       [](const Scene &s) { EXPECT_EQ(s.scene.passcount, 1); }},
      {"vector parts run to the next comma", "light(lamp).pos=-10.0000,2.5000,300.0000",
       [](const Scene &s) {
         EXPECT_EQ(s.scene.lights[2].pos.x, -10);
         EXPECT_EQ(s.scene.lights[2].pos.y, 2.5f);
         EXPECT_EQ(s.scene.lights[2].pos.z, 300);
       }},
      {"missing vector parts are 0", "light(lamp).diffuse=7\nlight(lamp).specular=1,2",
       [](const Scene &s) {
         const _3DV_LIGHT &l = s.scene.lights[2];
         EXPECT_EQ(l.diffuse.r + l.diffuse.g + l.diffuse.b, 0);
         EXPECT_EQ(l.specular.r, 1);
         EXPECT_EQ(l.specular.g, 2);
         EXPECT_EQ(l.specular.b, 0);
       }},
      {"only 1 is true", "material(stone).envmap=TRUE\nmaterial(wood).envmap= 1",
       [](const Scene &s) { EXPECT_EQ(s.materials[1].envmap + s.materials[0].envmap, 0); }},
      {"a material integer that is no number is 0", "material(stone).shine=abc",
       [](const Scene &s) { EXPECT_EQ(s.materials[1].shine, 0); }},
      {"a head without = reads itself as the value", "camerafov",
       [](const Scene &s) { EXPECT_EQ(s.scene.camerafov, 0); }},
      {"a name with a dot cannot be addressed", "material(wood.001).texturename=new",
       [](const Scene &s) {
         for (const auto &m : s.materials) EXPECT_EQ(m.texturename.view(), "orig");
       }},
      {"empty light names select the last empty slot", "light().enabled=1",
       [](const Scene &s) {
         for (int l = 0; l < 8; ++l) EXPECT_EQ(s.scene.lights[l].enabled, l == 7) << l;
       }},
      {"an unknown name selects entry 0", "material(nosuch).shine=7\nlight(x).enabled=1",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[0].shine, 7);
         EXPECT_EQ(s.scene.lights[0].enabled, 1);
       }},
      {"blanks before the = or the key, unknown keys and heads are ignored",
       "material(stone).shine =7\nmaterial(stone). shine=7\nmaterial(stone).shiny=7\n"
       "camerafov =1\nCamerafov=1\nwhatever(stone).shine=7",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[1].shine, 5);
         EXPECT_EQ(s.scene.camerafov, 0.5f);
       }},
      {"a leading blank is read, a trailing one is not",
       "material(stone).shine= 7\nmaterial(wood).shine=7 \n"
       "material(stone).transparency=\t0.5\nmaterial(wood).transparency=0.5 ",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[1].shine, 7);
         EXPECT_EQ(s.materials[0].shine, 0);
         EXPECT_EQ(s.materials[1].transparency, 0.5f);
         EXPECT_EQ(s.materials[0].transparency, 0);
       }},
      {"integer prefixes, signs and range",
       "material(wood).shine=$1F\nmaterial(stone).shine=x1F\nmaterial(wood.001).shine=0x1F\n"
       "material(wood).magtype=%101\nmaterial(stone).magtype=&17\n"
       "object(ball).newparticle=-$10\nobject(box).newparticle=+2147483647\n"
       "object(box).rendermode=0x0c\nobject(ball).passno=-2147483648",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[0].shine, 31);
         EXPECT_EQ(s.materials[1].shine, 31);
         EXPECT_EQ(s.materials[0].magtype, 5);
         EXPECT_EQ(s.materials[1].magtype, 15);
         EXPECT_EQ(s.objects[0].particledata.newparticle, -16);
         EXPECT_EQ(s.objects[1].particledata.newparticle, 2147483647);
         EXPECT_EQ(s.objects[1].rendermode, 12);
         EXPECT_EQ(s.objects[0].passno, -2147483648);
       }},
      {"material integers out of range are 0, Bytes keep their low bits",
       "material(wood).shine=2147483648\nmaterial(wood).depthtest=300\n"
       "material(stone).depthtest=-1\nmaterial(stone).texturewrap=$1FF\n"
       "object(ball).rendermode=258\nobject(box).colorattrib=-1",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[0].shine, 0);
         EXPECT_EQ(s.materials[0].depthtest, 44);
         EXPECT_EQ(s.materials[1].depthtest, 0);
         EXPECT_EQ(s.materials[1].texturewrap, 255);
         EXPECT_EQ(s.objects[0].rendermode, 2);
         EXPECT_EQ(s.objects[1].particledata.colorattrib, 255);
       }},
      {"Single forms",
       "object(ball).power=1e2\nobject(ball).size=-1.5E-1\nobject(ball).deltapower=5.\n"
       "object(box).power=1,5\nobject(box).size=inf\nobject(box).deltapower=1e50\n"
       "camerafar=--1\ncameranear=.25",
       [](const Scene &s) {
         const auto &p = s.objects[0].particledata, &q = s.objects[1].particledata;
         EXPECT_EQ(p.power, 100);
         EXPECT_FLOAT_EQ(p.size, -0.15f);
         EXPECT_EQ(p.deltapower, 5);
         EXPECT_EQ(q.power + q.size + q.deltapower + s.scene.camerafar, 0);
         EXPECT_EQ(s.scene.cameranear, 0.25f);
       }},
      {"an object material outside the materials is ignored",
       "object(ball).material=3\nobject(box).material=-1\nobject(ball).material=2",
       [](const Scene &s) {
         EXPECT_EQ(s.objects[0].material, 2);
         EXPECT_EQ(s.objects[1].material, 0);
       }},
      {"LF, CR LF and a lone CR end lines", "camerafov=1\r\ncameranear=2\rcamerafar=3\n",
       [](const Scene &s) {
         EXPECT_EQ(s.scene.camerafov, 1);
         EXPECT_EQ(s.scene.cameranear, 2);
         EXPECT_EQ(s.scene.camerafar, 3);
       }},
      {"a line keeps 255 characters", "material(stone).texturename=" + long_name + "\ncamerafar=4",
       [](const Scene &s) {
         EXPECT_EQ(s.materials[1].texturename.length, 255 - 28);
         EXPECT_EQ(s.scene.camerafar, 4);
       }},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    Scene s = Base();
    s.scene.materials = s.materials.data(), s.scene.objects = s.objects.data();
    std::string error;
    EXPECT_TRUE(_3DV_ParseConfig(s.scene, row.text, error)) << error;
    row.check(s);
  }
}

TEST(SceneConfig, SectionLinesOfASceneWithoutEntriesAreIgnored) {
  Scene s({}, {});
  std::string error;
  EXPECT_TRUE(_3DV_ParseConfig(s.scene, "material(a).shine=3\nobject(b).passno=x\ncamerafar=2", error));
  EXPECT_EQ(s.scene.camerafar, 2);
  EXPECT_EQ(s.scene.passcount, 0);
}

TEST(SceneConfig, AnObjectIntegerThatIsNoNumberIsAnErrorOfTheFile) {
  ember_test::TempDir dir;
  for (const char *value : {"abc", " 3 ", "99999999999", "", "$"}) {
    Scene s = Base();
    s.scene.materials = s.materials.data(), s.scene.objects = s.objects.data();
    std::string error;
    EXPECT_FALSE(_3DV_ParseConfig(
        s.scene, std::string("camerafov=2\n#\nobject(box).passno=") + value + "\ncamerafar=9", error))
        << value;
    EXPECT_TRUE(error.starts_with("line 3:")) << error;
    EXPECT_EQ(s.scene.camerafov, 2);   // the lines before stay
    EXPECT_EQ(s.scene.camerafar, 0);   // the lines after are not read
    EXPECT_EQ(s.objects[1].passno, 1);
  }
  ember_test::WriteFile(dir.path() / "bad.cfg", "object(ball).rendermode=abc\n");
  Scene s = Base();
  s.scene.materials = s.materials.data(), s.scene.objects = s.objects.data();
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_LoadConfig(s.scene, dir.str("bad.cfg"))),
              testing::ExitedWithCode(1), "bad.cfg, line 1: .*rendermode=abc");
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_LoadConfig(s.scene, dir.str("none.cfg"))),
              testing::ExitedWithCode(1), "none.cfg cannot be opened");
  std::filesystem::create_directory(dir.path() / "folder.cfg");
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_LoadConfig(s.scene, dir.str("folder.cfg"))),
              testing::ExitedWithCode(1), "folder.cfg cannot be read");
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// Lines are read as they come: 384 MiB of holes (one line of NUL bytes,
// cut to what a line holds) and the lines after them load in a child
// with 256 MiB of address space to spare; "\r", "\r\n" and "\n" end lines.
TEST(SceneConfig, AFileOfHolesCostsTheMemoryOfOneLine) {
  ember_test::TempDir dir;
  const std::string name = dir.str("holes.cfg");
  ember_test::WriteAfterHoles(name, uint64_t(384) << 20, "\rcamerafov=0.5\r\n\ncamerafar=7");
  const ember_test::RunResult r = ember_test::RunInChild([&] {
    ember_test::LimitAddressSpaceAboveUse(size_t(256) << 20);
    Scene s = Base();
    _3DV_LoadConfig(s.scene, name);
    std::printf("%g %g", s.scene.camerafov, s.scene.camerafar);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "0.5 7");
}
#endif

TEST(SceneConfig, FailedWritesEndTheProcessAndLeaveNoFile) {
  ember_test::TempDir dir;
  Scene s = Base();
  s.scene.materials = s.materials.data(), s.scene.objects = s.objects.data();
  const std::string name = dir.str("big.cfg");
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100;
        setrlimit(RLIMIT_FSIZE, &limit);
        _3DV_SaveConfig(s.scene, name);
      },
      testing::ExitedWithCode(1), "big.cfg cannot be written");
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_DumpGeometry(s.scene, dir.str("no/such/x"))),
              testing::ExitedWithCode(1), "no/such/xv cannot be created");
}

TEST(GeometryDump, CubeAndEmptyObjects) {
  ember_test::TempDir dir;
  Scene s({}, {"cube", "empty"});
  std::vector<_3DV_VECTOR> corners;
  for (int i = 0; i < 8; ++i)
    corners.push_back({i & 1 ? 1.0f : -0.0f, i & 2 ? -0.5f : 0.5f, i & 4 ? 0.0f : 2.0f});
  // Twelve triangles, two per side.
  std::vector<_3DV_FACE> faces = {
      {{0, 1, 3}}, {{0, 3, 2}}, {{4, 6, 7}}, {{4, 7, 5}}, {{0, 4, 5}}, {{0, 5, 1}},
      {{2, 3, 7}}, {{2, 7, 6}}, {{0, 2, 6}}, {{0, 6, 4}}, {{1, 5, 7}}, {{1, 7, 3}},
  };
  std::swap(corners[0], corners[7]);  // vertex 0 at (1, -0.5, 0)
  s.objects[0].vertexcount = 8, s.objects[0].vertices = corners.data();
  s.objects[0].facecount = 12, s.objects[0].faces = faces.data();
  _3DV_DumpGeometry(s.scene, dir.str("cube."));

  const std::string v = ember_test::ReadFile(dir.path() / "cube.v");
  const std::string f = ember_test::ReadFile(dir.path() / "cube.f");
  EXPECT_EQ(Lines(v), 10u + 2);
  EXPECT_EQ(Lines(f), 14u + 2);
  EXPECT_TRUE(v.starts_with("cube\n \n0 1.0000 -0.5000 0.0000\n1 1.0000 0.5000 2.0000\n")) << v;
  EXPECT_TRUE(Has(v, "6 -0.0000 -0.5000 0.0000"));  // the sign of a negative zero stays
  EXPECT_TRUE(f.starts_with("cube\n \n0 0 1 3\n1 0 3 2\n")) << f;
  EXPECT_TRUE(v.ends_with("7 -0.0000 0.5000 2.0000\nempty\n \n")) << v;
  EXPECT_TRUE(f.ends_with("11 1 7 3\nempty\n \n"));

  Scene none({}, {});
  _3DV_DumpGeometry(none.scene, dir.str("none"));
  EXPECT_EQ(ember_test::ReadFile(dir.path() / "nonev"), "");
  EXPECT_EQ(ember_test::ReadFile(dir.path() / "nonef"), "");
}

}  // namespace
