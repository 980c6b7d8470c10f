// The asset generator: draws every picture, synthesises every sound and the music, encodes the
// small windows' JPEG pictures, copies the level files, and writes both the game's data
// directory and the C++ source of the resources carried inside the program.
//
//   assetgen --data <dir> --levels <levels-src-dir> --resources <out.cpp> [--preview <dir>]
//            [--icons <dir>] [--records <file>]
//
// Any output may be left out. --icons writes the application icon as PNG files in the sizes of
// the hicolor icon theme; --records writes the shipped record table (the one an install carries,
// whatever the build's own data directory's table holds by now). --preview also writes the carried
// pictures as plain BMP and JPEG files, for looking at them. Every file is written through a
// temporary file and a rename; an existing record file (a player's table) is never replaced.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "art.h"
#include "audio.h"
#include "formats.h"

namespace fs = std::filesystem;
using gen::Bytes;

namespace {

Bytes ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + p.string());
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void Put(const fs::path& dir, const std::string& rel, const Bytes& data) {
  fs::path p = dir / rel;
  fs::create_directories(p.parent_path());
  gen::WriteFileAtomic(p.string(), data);
}

// The default record table: five names and scores, Windows-1251, CR LF after every line.
Bytes DefaultRecords() {
  const std::pair<const char*, int> rows[5] = {
      {"Алиса", 3000}, {"Борис", 2200}, {"Вера", 1500}, {"Глеб", 900}, {"Дина", 400}};
  std::string text;
  for (auto& [name, score] : rows) {
    text += gen::ToCp1251(name) + "\r\n";
    text += std::to_string(score) + "\r\n";
  }
  return Bytes(text.begin(), text.end());
}

void WriteData(const fs::path& dir, const fs::path& levels) {
  fs::create_directories(dir);
  for (int k = 1; k <= 4; ++k)
    Put(dir, "shar/" + std::to_string(k) + ".bmp", gen::BmpFile(gen::Ball(k)));
  for (int k = 1; k <= 12; ++k)
    Put(dir, "bon/" + std::to_string(k) + ".bmp", gen::BmpFile(gen::Bonus(k)));
  Put(dir, "bon/13.bmp", gen::BmpFile(gen::GunBarrel()));
  Put(dir, "bon/14.bmp", gen::BmpFile(gen::Bullet()));
  for (int d = 0; d <= 9; ++d)
    Put(dir, "fnt/" + std::to_string(d) + ".bmp", gen::BmpFile(gen::Digit(d)));
  for (int s = 1; s <= 5; ++s)
    Put(dir, "pod/" + std::to_string(s) + ".bmp", gen::BmpFile(gen::Paddle(s)));
  for (int t : {1, 4, 5})
    Put(dir, "kirp/" + std::to_string(t) + "1.bmp", gen::BmpFile(gen::Brick(t, 1)));
  for (int t : {2, 3, 6, 7, 8, 9})
    for (int f = 1; f <= 3; ++f)
      Put(dir, "kirp/" + std::to_string(t) + std::to_string(f) + ".bmp",
          gen::BmpFile(gen::Brick(t, f)));
  Put(dir, "fon/2.bmp", gen::BmpFile(gen::FieldTile()));
  Put(dir, "music/music.wav", gen::MusicLoop());
  for (int n = 1; n <= 20; ++n) {
    std::string name = "lev" + std::to_string(n) + ".lev";
    Put(dir, "levels/" + name, ReadFile(levels / name));
  }
  gen::WriteFileIfAbsent((dir / "rec.kbx").string(), DefaultRecords());
}

// Every carried resource, in the order the generated table lists them.
std::vector<std::pair<std::string, Bytes>> CarriedResources() {
  std::vector<std::pair<std::string, Bytes>> r;
  r.emplace_back("Menulist.m1", gen::Dib24(gen::MenuTitle()));
  r.emplace_back("Menulist.m2", gen::Dib24(gen::MenuCaption2()));
  r.emplace_back("Menulist.m3", gen::Dib24(gen::MenuCaption3()));
  r.emplace_back("Menulist.background", gen::Dib24(gen::MenuBackdrop()));
  r.emplace_back("ImageList.shar1", gen::Dib24(gen::Ball(1)));
  r.emplace_back("ImageList.kirp11", gen::Dib24(gen::Brick(1, 1)));
  r.emplace_back("ImageList.background", gen::DibRle4(gen::TileIndexed16()));
  r.emplace_back("ImageList.img1-2", gen::DibRle8(gen::Emblem()));
  r.emplace_back("ImageList.Panel1", gen::Dib1(gen::PanelMark()));
  r.emplace_back("Form1.Image1", gen::Jpeg(gen::LoadingPicture(), 90));
  r.emplace_back("Form2.Image1", gen::Jpeg(gen::ScorePicture(), 90));
  r.emplace_back("DXWaveList.snd", gen::SoundBrickBreak());
  r.emplace_back("DXWaveList.morf", gen::SoundArmourClank());
  r.emplace_back("DXWaveList.pop", gen::SoundWallPop());
  r.emplace_back("DXWaveList.las", gen::SoundLaser());
  // The keyboard table: 36 input states x 3 virtual-key codes, little-endian int32.
  int assigns[36][3] = {};
  const int rows[][4] = {{0, 75, 38, 104}, {1, 74, 40, 98}, {2, 65, 37, 100}, {3, 68, 39, 102},
                         {4, 90, 32, 0},   {5, 88, 13, 0},  {12, 113, 0, 0}};
  for (auto& row : rows)
    for (int k = 0; k < 3; ++k) assigns[row[0]][k] = row[k + 1];
  Bytes block;
  for (auto& row : assigns)
    for (int v : row) gen::Put32(block, uint32_t(v));
  r.emplace_back("DXInput.Keyboard.Assigns", block);
  return r;
}

// A byte array as C++ string literals: printable characters as themselves, the rest as
// three-digit octal escapes (which never swallow a following digit).
void EmitLiteral(std::ostringstream& out, const Bytes& b) {
  size_t col = 0;
  out << "    \"";
  for (uint8_t c : b) {
    if (col >= 96) {
      out << "\"\n    \"";
      col = 0;
    }
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
      out << char(c);
      col += 1;
    } else {
      char esc[5];
      std::snprintf(esc, sizeof esc, "\\%03o", c);
      out << esc;
      col += 4;
    }
  }
  out << "\"";
}

std::string ResourceSource(const std::vector<std::pair<std::string, Bytes>>& res) {
  std::ostringstream out;
  out << "// Written by tools/assetgen: the pictures, sounds and data blocks carried inside the\n"
         "// program. Do not edit; change the generator instead.\n"
         "#include \"toolkit/resources.h\"\n\n"
         "namespace res {\n\nnamespace {\n\n";
  for (size_t i = 0; i < res.size(); ++i) {
    // One byte more than the data for the literal's closing zero, which is not part of it.
    out << "// " << res[i].first << ", " << res[i].second.size() << " bytes\n";
    out << "const unsigned char kData" << i << "[" << res[i].second.size() + 1 << "] =\n";
    EmitLiteral(out, res[i].second);
    out << ";\n\n";
  }
  out << "struct Entry {\n  std::string_view name;\n  const unsigned char* data;\n  size_t "
         "size;\n};\n\n"
         "const Entry kEntries[] = {\n";
  for (size_t i = 0; i < res.size(); ++i)
    out << "    {\"" << res[i].first << "\", kData" << i << ", " << res[i].second.size() << "},\n";
  out << "};\n\n}  // namespace\n\n"
         "Blob Find(std::string_view name) {\n"
         "  for (const Entry& e : kEntries)\n"
         "    if (e.name == name) return Blob{e.data, e.size};\n"
         "  return Blob{};\n"
         "}\n\n"
         "std::vector<std::string_view> Names() {\n"
         "  std::vector<std::string_view> names;\n"
         "  for (const Entry& e : kEntries) names.push_back(e.name);\n"
         "  return names;\n"
         "}\n\n"
         "}  // namespace res\n";
  return out.str();
}

void WritePreview(const fs::path& dir) {
  Put(dir, "m1.bmp", gen::BmpFile(gen::MenuTitle()));
  Put(dir, "m2.bmp", gen::BmpFile(gen::MenuCaption2()));
  Put(dir, "m3.bmp", gen::BmpFile(gen::MenuCaption3()));
  Put(dir, "menu.bmp", gen::BmpFile(gen::MenuBackdrop()));
  Put(dir, "loading.jpg", gen::Jpeg(gen::LoadingPicture(), 90));
  Put(dir, "score.jpg", gen::Jpeg(gen::ScorePicture(), 90));
  Put(dir, "snd.wav", gen::SoundBrickBreak());
  Put(dir, "morf.wav", gen::SoundArmourClank());
  Put(dir, "pop.wav", gen::SoundWallPop());
  Put(dir, "las.wav", gen::SoundLaser());
}

// The application icon in the sizes of the hicolor theme: <dir>/<n>x<n>/apps/kobaltix.png.
void WriteIcons(const fs::path& dir) {
  for (int n : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
    const std::string size = std::to_string(n) + "x" + std::to_string(n);
    Put(dir, size + "/apps/kobaltix.png", gen::PngFile(gen::AppIcon(n)));
  }
}

void Usage() {
  std::fprintf(stderr,
               "usage: assetgen --data <dir> --levels <levels-dir> --resources <out.cpp>\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string data, levels, resources, preview, icons, records;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    if (a == "--data")
      data = argv[++i];
    else if (a == "--levels")
      levels = argv[++i];
    else if (a == "--resources")
      resources = argv[++i];
    else if (a == "--preview")
      preview = argv[++i];
    else if (a == "--icons")
      icons = argv[++i];
    else if (a == "--records")
      records = argv[++i];
    else {
      Usage();
      return 2;
    }
  }
  if (!data.empty() && levels.empty()) {
    std::fprintf(stderr, "assetgen: --data needs --levels (the level files to copy)\n");
    return 2;
  }
  try {
    if (!data.empty()) WriteData(data, levels);
    if (!preview.empty()) WritePreview(preview);
    if (!icons.empty()) WriteIcons(icons);
    if (!records.empty()) {
      if (fs::path(records).has_parent_path())
        fs::create_directories(fs::path(records).parent_path());
      gen::WriteFileAtomic(records, DefaultRecords());
    }
    if (!resources.empty()) {
      std::string src = ResourceSource(CarriedResources());
      fs::path out(resources);
      if (out.has_parent_path()) fs::create_directories(out.parent_path());
      gen::WriteFileAtomic(resources, Bytes(src.begin(), src.end()));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "assetgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
