#include "game/replay_file.h"

#include <zlib.h>

#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "game/textfile.h"
#include "platform/data_file.h"

namespace replay {

namespace {

const char kMagic[] = "KobalTix replay\n";
// Pictures and level files are far below this; a replay's tape of an hour is below 1 MiB.
constexpr size_t kFileLimit = 64u << 20;
constexpr uint64_t kTapeLimit = 256u << 20;

std::string Hex(uint64_t v, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*" PRIx64, digits, v);
  return buf;
}

}  // namespace

std::string EncodeReplay(const ReplayFile& r) {
  uLongf packedSize = compressBound(static_cast<uLong>(r.tape.size()));
  std::string packed(packedSize, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
            reinterpret_cast<const Bytef*>(r.tape.data()), static_cast<uLong>(r.tape.size()), 9);
  packed.resize(packedSize);

  std::ostringstream o;
  o << kMagic;
  o << "game " << r.game << "\n";
  o << "rules " << r.rules << "\n";
  o << "seed " << r.seed << "\n";
  o << "cheats " << (r.cheats ? 1 : 0) << "\n";
  o << "window " << (r.window ? 1 : 0) << "\n";
  o << "levels " << r.levelFolder << "\n";
  o << "ended " << r.when << "\n";
  o << "score " << r.score << "\n";
  o << "level " << r.level << "\n";
  o << "frames " << r.frames << "\n";
  o << "state " << Hex(r.finalHash, 16) << "\n";
  for (const FileCheck& f : r.files)
    o << "file " << Hex(f.crc, 8) << " " << (f.missing ? -1 : static_cast<int64_t>(f.size)) << " "
      << f.name << "\n";
  o << "tape " << r.tape.size() << " " << packed.size() << "\n";
  return o.str() + packed;
}

std::string DecodeReplay(const std::string& bytes, ReplayFile& out) {
  out = ReplayFile{};
  out.game.clear();
  out.rules = 0;
  const size_t magic = sizeof kMagic - 1;
  if (bytes.compare(0, magic, kMagic) != 0) return "not a KobalTix replay";
  size_t pos = magic;
  for (;;) {
    const size_t nl = bytes.find('\n', pos);
    if (nl == std::string::npos) return "the replay's header is cut short";
    const std::string line = bytes.substr(pos, nl - pos);
    pos = nl + 1;
    const size_t sp = line.find(' ');
    const std::string key = line.substr(0, sp);
    const std::string value = sp == std::string::npos ? "" : line.substr(sp + 1);
    std::istringstream v(value);
    if (key == "game") {
      out.game = value;
    } else if (key == "rules") {
      v >> out.rules;
    } else if (key == "seed") {
      v >> out.seed;
    } else if (key == "cheats") {
      out.cheats = value == "1";
    } else if (key == "window") {
      out.window = value == "1";
    } else if (key == "levels") {
      out.levelFolder = value;
    } else if (key == "ended") {
      out.when = value;
    } else if (key == "score") {
      v >> out.score;
    } else if (key == "level") {
      v >> out.level;
    } else if (key == "frames") {
      v >> out.frames;
    } else if (key == "state") {
      v >> std::hex >> out.finalHash;
    } else if (key == "file") {
      FileCheck f;
      int64_t size = 0;
      v >> std::hex >> f.crc >> std::dec >> size;
      v.get();
      std::getline(v, f.name);
      if (!v && f.name.empty()) return "a damaged file line in the replay's header";
      f.missing = size < 0;
      f.size = size < 0 ? 0 : static_cast<uint64_t>(size);
      out.files.push_back(f);
    } else if (key == "tape") {
      uint64_t raw = 0, packed = 0;
      v >> raw >> packed;
      if (!v || raw > kTapeLimit || packed > bytes.size() - pos)
        return "the replay's input is damaged or cut short";
      uLongf size = static_cast<uLongf>(raw);
      out.tape.assign(raw, '\0');
      if (uncompress(reinterpret_cast<Bytef*>(out.tape.data()), &size,
                     reinterpret_cast<const Bytef*>(bytes.data() + pos),
                     static_cast<uLong>(packed)) != Z_OK ||
          size != raw)
        return "the replay's input is damaged";
      return {};
    }
    // Lines of keys this game does not know are skipped: a later game may add some.
  }
}

FileCheck CheckFile(const std::string& name) {
  FileCheck f;
  f.name = name;
  std::vector<uint8_t> bytes;
  int error = 0;
  if (!platform::ReadDataFile(game::NativePath(name), kFileLimit, bytes, error)) {
    f.missing = true;
    return f;
  }
  f.size = bytes.size();
  f.crc = static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
  return f;
}

std::string CompareFiles(const ReplayFile& r) {
  for (const FileCheck& recorded : r.files) {
    const FileCheck now = CheckFile(recorded.name);
    if (now.missing != recorded.missing || now.size != recorded.size || now.crc != recorded.crc)
      return "the replay was recorded with another " + game::NativePath(recorded.name) +
             (now.missing ? " (the file is missing now)" : "");
  }
  return {};
}

std::string CompareVersion(const ReplayFile& r) {
  if (r.game != kGameVersion || r.rules != kRulesVersion)
    return "the replay was recorded by KobalTix " + r.game + " (rules " + std::to_string(r.rules) +
           "); this is KobalTix " + kGameVersion + " (rules " + std::to_string(kRulesVersion) + ")";
  return {};
}

}  // namespace replay
