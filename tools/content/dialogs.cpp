// The dialogs' files: "cfg.xml" (the configuration dialog) and "msgbox.xml"
// (the message box), the fonts they name, their banner picture (made with
// the other textures), and "colors.ini", which the demo opens and closes
// without reading.
//
// The widget ids are the ones the dialogs' code looks up: 23 quit / OK,
// 101-104 the four modes, 110 no sound, 111 vertical sync, 112 windowed,
// 115-117 texture quality, 1000 start, 100 the message. A font element
// stands before every widget that names it (references look backwards),
// names its face exactly as its file, and gives an encoding. Initial
// values: windowed, vertical sync on, sound on, full texture quality. The
// message box is wide enough for "File not found: " and the longest name
// of the pack.
#include <string>

#include "tools/content/generators.h"

namespace content {

namespace {

const char kConfigDialog[] = R"xml(<dialog>
<WINDOW TITLE="emberfield - setup" WIDTH="480" HEIGHT="400" BGCOLOR="1C1418FF"/>
<FONT ID="1" NAME="DejaVuSans.ttf" FONTNAME="DejaVuSans.ttf" SIZE="14" ENCODING="ISO-8859-1"/>
<FONT ID="2" NAME="DejaVuSans-Bold.ttf" FONTNAME="DejaVuSans-Bold.ttf" SIZE="14" ENCODING="ISO-8859-1"/>
<IMG SRC="cfglogo.tga" X="0" Y="0" WIDTH="480" HEIGHT="120" FGCOLOR="FFFFFFFF" BGFILTER="linear"/>
<LINE X="0" Y="120" X2="480" Y2="120" FGCOLOR="C8864AFF" DEPTH="2"/>
<LABEL TITLE="screen mode" X="20" Y="132" WIDTH="200" HEIGHT="22" FONTID="2" COLOR="E8B070FF"/>
<BUTTON ID="101" TITLE="800 x 600  (4:3)" X="20" Y="156" WIDTH="215" HEIGHT="30" FONTID="1" BGCOLOR="3A2623FF" OCOLOR="7A3A18FF" FGCOLOR="C8864AFF"/>
<BUTTON ID="102" TITLE="1024 x 768  (16:10)" X="245" Y="156" WIDTH="215" HEIGHT="30" FONTID="1" BGCOLOR="3A2623FF" OCOLOR="7A3A18FF" FGCOLOR="C8864AFF"/>
<BUTTON ID="103" TITLE="1280 x 720  (16:9)" X="20" Y="192" WIDTH="215" HEIGHT="30" FONTID="1" BGCOLOR="3A2623FF" OCOLOR="7A3A18FF" FGCOLOR="C8864AFF"/>
<BUTTON ID="104" TITLE="1024 x 768  (5:4)" X="245" Y="192" WIDTH="215" HEIGHT="30" FONTID="1" BGCOLOR="3A2623FF" OCOLOR="7A3A18FF" FGCOLOR="C8864AFF"/>
<CHECKBOX ID="112" TITLE="windowed" VALUE="1" X="20" Y="236" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<CHECKBOX ID="111" TITLE="vertical sync" VALUE="1" X="170" Y="236" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<CHECKBOX ID="110" TITLE="no sound" VALUE="0" X="320" Y="236" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<LABEL TITLE="texture quality" X="20" Y="274" WIDTH="200" HEIGHT="22" FONTID="2" COLOR="E8B070FF"/>
<RADIOBUTTON ID="115" GID="1" TITLE="high" VALUE="1" X="20" Y="298" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<RADIOBUTTON ID="116" GID="1" TITLE="medium" VALUE="0" X="170" Y="298" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<RADIOBUTTON ID="117" GID="1" TITLE="low" VALUE="0" X="320" Y="298" WIDTH="140" HEIGHT="26" FONTID="1" BGCOLOR="2A1E1CFF" OCOLOR="4A2A1CFF" FGCOLOR="C8864AFF"/>
<BUTTON ID="23" TITLE="quit" X="20" Y="348" WIDTH="215" HEIGHT="34" FONTID="2" BGCOLOR="3A2623FF" OCOLOR="7A3A18FF" FGCOLOR="C8864AFF"/>
<BUTTON ID="1000" TITLE="start" X="245" Y="348" WIDTH="215" HEIGHT="34" FONTID="2" BGCOLOR="6A3418FF" OCOLOR="A85420FF" FGCOLOR="F0A860FF"/>
</dialog>
)xml";

const char kMessageBox[] = R"xml(<dialog>
<WINDOW TITLE="emberfield" WIDTH="560" HEIGHT="150" BGCOLOR="1C1418FF"/>
<FONT ID="1" NAME="DejaVuSans.ttf" FONTNAME="DejaVuSans.ttf" SIZE="14" ENCODING="ISO-8859-1"/>
<FONT ID="2" NAME="DejaVuSans-Bold.ttf" FONTNAME="DejaVuSans-Bold.ttf" SIZE="14" ENCODING="ISO-8859-1"/>
<FRAME X="10" Y="10" WIDTH="540" HEIGHT="70" BGCOLOR="2A1E1CFF" FGCOLOR="C8864AFF"/>
<LABEL ID="100" TITLE="" X="22" Y="32" WIDTH="516" HEIGHT="40" FONTID="1" COLOR="FFE0C0FF"/>
<BUTTON ID="23" TITLE="OK" X="230" Y="98" WIDTH="100" HEIGHT="34" FONTID="2" BGCOLOR="6A3418FF" OCOLOR="A85420FF" FGCOLOR="F0A860FF"/>
</dialog>
)xml";

const char kColours[] = R"(# emberfield colours: kept with the demo's data, not read by the program
background = "12 8 16"
ember = "255 140 40"
)";

}  // namespace

ContentSet DialogFiles(const FontBook &fonts) {
  ContentSet s;
  s.AddText("cfg.xml", kConfigDialog);
  s.AddText("msgbox.xml", kMessageBox);
  s.Add(FontBook::FileName(Face::kSans), fonts.FileBytes(Face::kSans));
  s.Add(FontBook::FileName(Face::kSansBold), fonts.FileBytes(Face::kSansBold));
  s.AddText("colors.ini", kColours);
  return s;
}

}  // namespace content
